#pragma once

// Merges GetMail.txt (the records the poll cycles appended) into Mail.txt and
// HistMail.txt, logging each merge, then removes it. When the archive could
// not take it, GetMail.txt stays for the next merge instead of losing mail,
// and Mail.txt goes back to what it was, so that the next merge does not list
// the mails twice.
void mergeFreshMail();
