// Commands whose replies are read in order. With a window above 1 (the server
// offers PIPELINING) they go out ahead of their replies, a half-window in one
// piece whenever fewer than that are on the way; with 1, each goes out just
// before its reply is read. Knows nothing of sockets: it sends through a
// CommandSender.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

// Where the pipe's commands go.
class CommandSender {
public:
    virtual ~CommandSender() = default;
    // One command line as the event log shows it (a password hidden), as it
    // goes out.
    virtual void logCommand(const std::string& text) = 0;
    // Sends command lines in one piece; 0 or the error that kept them from
    // the server.
    virtual int sendCommands(const std::string& batch) = 0;
};

class CommandPipe {
public:
    CommandPipe(CommandSender& sender, size_t halfWindow) : sender_(sender), half_(halfWindow) {}
    // Adds a command line; returns its index.
    size_t add(std::string command);
    // Sends what must be on the way before the reply to command i is read.
    // Returns 0 or the error that kept command i from the server.
    int ready(size_t i);
    // A reply could not be read: the connection is out of step or gone, so
    // nothing more is sent and every later command fails with error.
    void broke(int error);

private:
    CommandSender& sender_;
    size_t half_;
    std::vector<std::string> commands_;
    std::vector<int> errors_;
    size_t sent_ = 0;
    int broken_ = 0;
};
