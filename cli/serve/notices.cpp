#include "serve/notices.h"

#include "platform/system.h"

void RepeatedNotice::happened(const std::string& text) {
    std::lock_guard lock(mutex_);
    ++count_;
    if (text_.empty()) {
        since_ = TimeStr();
        text_ = text;
        countSaid_ = count_ = 1;
        lastSaid_ = Timer();
        say_(text);
        return;
    }
    text_ = text;
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

void KindNotices::happened(const std::string& kind, const std::string& text) {
    RepeatedNotice* notice = nullptr;
    {
        std::lock_guard lock(mutex_);
        auto& slot = kinds_[kind];
        if (!slot) slot = std::make_unique<RepeatedNotice>(say_, every_);
        notice = slot.get();
    }
    notice->happened(text);
}
