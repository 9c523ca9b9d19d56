#include "serve/notices.h"

#include "platform/system.h"

void RepeatedNotice::happened(const std::string& text) {
    std::lock_guard lock(mutex_);
    if (text != text_) {
        sayCount();
        text_ = text;
        since_ = TimeStr();
        count_ = countSaid_ = 1;
        lastSaid_ = Timer();
        say_(text);
        return;
    }
    ++count_;
    if (Timer() - lastSaid_ >= every_) sayCount();
}

void RepeatedNotice::ended() {
    std::lock_guard lock(mutex_);
    sayCount();
    text_.clear();
    count_ = countSaid_ = 0;
}

void RepeatedNotice::sayCount() {
    if (text_.empty() || count_ == countSaid_) return;
    say_(text_ + " (" + std::to_string(count_) + " times since " + since_ + ")");
    countSaid_ = count_;
    lastSaid_ = Timer();
}
