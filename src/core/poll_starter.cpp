#include "core/poll_starter.h"

namespace {

PollStarter pollStarter = nullptr;

} // namespace

void setPollStarter(PollStarter starter) {
    pollStarter = starter;
}

UniqueHandle startPoll() {
    if (pollStarter == nullptr) {
        return UniqueHandle();
    }
    return pollStarter();
}
