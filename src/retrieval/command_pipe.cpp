#include "retrieval/command_pipe.h"

#include "retrieval/pop3_replies.h"

size_t CommandPipe::add(std::string command) {
    commands_.push_back(std::move(command));
    errors_.push_back(0);
    return commands_.size() - 1;
}

int CommandPipe::ready(size_t i) {
    while (sent_ < commands_.size() && sent_ < i + half_) {
        size_t end = sent_ + half_ < commands_.size() ? sent_ + half_ : commands_.size();
        std::string batch;
        for (size_t k = sent_; k < end; k++) {
            sender_.logCommand(loggableCommand(commands_[k]));
            batch += commands_[k];
        }
        int error = broken_ != 0 ? broken_ : sender_.sendCommands(batch);
        for (size_t k = sent_; k < end; k++) {
            errors_[k] = error;
        }
        if (error != 0) {
            broken_ = error;
        }
        sent_ = end;
    }
    return errors_[i];
}

void CommandPipe::broke(int error) {
    if (broken_ == 0) {
        broken_ = error;
    }
}
