// One row of MailBox.txt (a mailbox) or MessBox.txt (a telegram login).
#pragma once

struct AccountEntry {
    char state; // 'A' active, 'P' paused; any other character is kept
    char alias[260];
    char identity[260]; // mailbox: e-mail address; telegram: login
    char password[260];
    char extra[260]; // mailbox: server, ";" and port; telegram: next message id
};
