// How an exchange ended, in every form the program says it: the error popup's text, a sentence in
// the language in force for the panels' notices and the report, a few English words for logs,
// traces and rq55ctl, and the reason label of serve's failure counts. One row per way an
// exchange can end: the views, rq55ctl, the report and serve all read them here.
#pragma once

#include <string>
#include <vector>

#include "link/exchange.h"

struct EndWords {
    int popupText;      // the error popup's text when the exchange reports it; 0 when it shows none
    int noticeText;     // the sentence, with the time for its first {}; 0 for an exchange that worked
    const char* words;  // English: "no reply", "CRC error"; a refused reply is named by its fault
    const char* reason; // serve's label: no_reply, refused, exception, connection_closed, ...
};

// The words of one way an exchange can end; `fault` says why a refused reply was refused.
const EndWords& WordsOf(ExchangeEnd end, ReplyFault fault = ReplyFault::None);
// The words of the last exchange.
const EndWords& LastEndWords();

// Every reason label a failed exchange can give, once each, and "link" for a link that could not
// be opened.
std::vector<std::string> FailureReasons();

// Why the last exchange failed, in a few English words ("no reply", "CRC error", "exception 02
// (illegal data address)", "wrong address or unit", "stale transaction id", "wrong echo",
// "time-out", "connection closed", ...); empty when it succeeded.
std::string LastExchangeFailure();

// When the last exchange was a write the analyser answered with exception 01 (illegal function):
// who may refuse writes and how a gateway of serve's lets them through, as a sentence in the
// language in force (`english`: in English, for rq55ctl); empty otherwise.
std::string WritesRefusedSentence(bool english = false);

// Why the last exchange failed, as a sentence in the language in force with the time it
// happened: "The analyser did not answer at 10:02:11.", "At 10:02:11 the reply was cut short.".
std::string FailureSentence(const std::string& when);
