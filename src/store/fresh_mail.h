#pragma once

// Merges GetMail.txt (the records the poll cycles appended) into Mail.txt and
// HistMail.txt, logging each merge, then removes it. The file is held without
// sharing throughout, so nothing a poll appends can be lost in between. When
// the archive could not take the records, GetMail.txt stays for the next
// merge instead of losing mail, and Mail.txt goes back to what it was, so that
// the next merge does not list the mails twice. Every caller merges through
// this one function: the agent's start and the viewer alike.
void mergeFreshMail();
