// Why the last exchange failed, as a sentence in the language in force with the time it
// happened: "The analyser did not answer at 10:02:11.", "At 10:02:11 the reply was cut short.";
// one text for each way an exchange can end.
#pragma once

#include <string>

std::string FailureSentence(const std::string& when);
