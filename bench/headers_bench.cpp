// Times header processing over a MailTmp.txt of many realistic blocks: a few
// trace lines, a folded signature, encoded and plain senders and subjects,
// some mails without Subject or Date, some with attachments.
// Usage: headers_bench [blocks...]   (default 2000 20000)
#include "core/agent_state.h"
#include "base/event_log.h"
#include "base/text.h"
#include "retrieval/header_processing.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

namespace {

const char* const kSenders[] = {
    "From: =?utf-8?B?0JjQstCw0L0g0J/QtdGC0YDQvtCy?= <ivan.petrov@mail.example.ru>",
    "From: \"=?koi8-r?B?68/Nxc7UwdLJyQ==?=\" <news@portal.example.ru>",
    "From: Service Desk <support@service.example.com>",
    "From: =?windows-1251?Q?=CE=EB=FC=E3=E0_=D1=E8=E4=EE=F0=EE=E2=E0?= <olga@example.org>",
    "from: robot@notify.example.net",
};

const char* const kSubjects[] = {
    "Subject: =?utf-8?B?0J7RgtGH0ZHRgiDQt9CwINC90L7Rj9Cx0YDRjA==?=",
    "Subject: Re: =?koi8-r?Q?=F0=D2=C9=D7=C5=D4_=CD=C9=D2?=",
    "Subject: =?utf-8?Q?=D0=A1=D1=87=D1=91=D1=82_=E2=84=96?= 1742\r\n "
    "=?utf-8?B?0L7RgiAxINC00LXQutCw0LHRgNGP?=",
    "Subject: Weekly report: build status and open issues",
    "Subject: =?windows-1251?B?z/Do4uXyIOzo8A==?=",
};

const char* const kContentTypes[] = {
    "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: 8bit",
    "Content-Type: multipart/mixed;\r\n boundary=\"----=_Part_4711_1234567890.1259652030000\"",
    "Content-Type: multipart/alternative; boundary=000e0cd5c7b4f6d4ad047a2a1c3a",
    "Content-Type: text/html; charset=koi8-r",
};

void appendBlock(std::string& out, int i) {
    char line[512];
    out += "Psevdo:Рабочий ящик\r\nMailAddr:petrov@example.ru\r\n";
    snprintf(line, sizeof line, "MailSize:%d.%d Кб\r\nMailIdent:%08X.%d@mx%d.example.ru\r\n", 2 + i % 900, i % 10,
             static_cast<unsigned>(i * 2654435761u), i, i % 7);
    out += line;
    out += "Return-Path: <ivan.petrov@mail.example.ru>\r\n";
    for (int hop = 0; hop < 3; hop++) {
        snprintf(line, sizeof line,
                 "Received: from mx%d.example.ru (mx%d.example.ru [10.%d.%d.%d])\r\n"
                 "\tby pop.example.ru (Postfix) with ESMTPS id %06X%d\r\n"
                 "\tfor <petrov@example.ru>; Tue, 1 Dec 2009 10:%02d:%02d +0300 (MSK)\r\n",
                 hop, hop, hop, i % 256, (i / 256) % 256, i * 7 + hop, hop, i % 60, (i + hop) % 60);
        out += line;
    }
    out += "DKIM-Signature: v=1; a=rsa-sha256; c=relaxed/relaxed; d=example.ru; s=mail;\r\n"
           "\th=from:to:subject:date:message-id:mime-version:content-type;\r\n"
           "\tbh=47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU=;\r\n"
           "\tb="
           "dGhpcyBpcyBub3QgYSByZWFsIHNpZ25hdHVyZSBidXQgaXQgaXMgYXMgbG9uZyBhcyBvbmUgd291bGQgYmUgaW4gYSByZWFs\r\n"
           "\t "
           "IG1haWwgaGVhZGVyIGFuZCB0aGF0IGlzIHRoZSBwb2ludCBvZiBpdCBhbmQgbm90aGluZyBtb3JlIHRoYW4gdGhhdCBmb3Igbm93"
           "\r\n";
    out += kSenders[i % 5];
    out += "\r\nTo: =?utf-8?B?0J/QtdGC0YDQvtCy?= <petrov@example.ru>\r\n";
    if (i % 10 != 3) {
        out += kSubjects[i % 5];
        out += "\r\n";
    }
    if (i % 10 != 7) {
        snprintf(line, sizeof line, "Date: %s, %d %s 20%02d %02d:%02d:%02d %s\r\n", i % 2 ? "Tue" : "Wed", 1 + i % 28,
                 i % 3 ? "Dec" : "Nov", 9 + i % 10, i % 24, i % 60, (i * 7) % 60, i % 4 ? "+0300" : "-0000");
        out += line;
    }
    snprintf(line, sizeof line, "Message-ID: <%08X.%d@mx%d.example.ru>\r\nMIME-Version: 1.0\r\n",
             static_cast<unsigned>(i * 2654435761u), i, i % 7);
    out += line;
    out += kContentTypes[i % 4];
    out += "\r\nX-Mailer: Microsoft Outlook 14.0\r\nX-Spam-Status: No, score=-1.9\r\n\r\n.\r\n";
}

bool writeWhole(const char* path, const std::string& bytes) {
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    bool ok =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
    CloseHandle(file);
    return ok;
}

// One timed run over a new header file of the given number of blocks.
bool runOnce(const std::string& folder, int blocks, const std::string& text) {
    std::string tmpPath = folder + "MailTmp.txt";
    std::string mailPath = folder + "GetMail.txt";
    DeleteFileA(mailPath.c_str());
    if (!writeWhole(tmpPath.c_str(), text)) {
        fprintf(stderr, "cannot write %s\n", tmpPath.c_str());
        return false;
    }
    UniqueHandle headerFile(CreateFileA(tmpPath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!headerFile) {
        fprintf(stderr, "cannot open %s\n", tmpPath.c_str());
        return false;
    }
    gAgent.highestMailNumber = 0;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    int count = processHeaders(std::move(headerFile));
    QueryPerformanceCounter(&end);
    double ms = 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
    printf("%6d blocks, %6.1f MB: %8.1f ms (%d records)\n", blocks, static_cast<double>(text.size()) / 1048576.0, ms,
           count);
    return count == blocks;
}

} // namespace

int main(int argc, char** argv) {
    char temp[MAX_PATH];
    if (GetTempPathA(sizeof temp, temp) == 0) {
        return 1;
    }
    char folder[MAX_PATH];
    formatText(folder, sizeof folder, "%skorvel_headers_bench_%lu\\", temp, GetCurrentProcessId());
    if (!CreateDirectoryA(folder, nullptr)) {
        fprintf(stderr, "cannot create %s\n", folder);
        return 1;
    }
    copyText(gAgent.serviceFolder, sizeof gAgent.serviceFolder, folder);
    std::string logPath = std::string(folder) + "MAInLog.txt";
    openEventLog(logPath.c_str());

    int sizes[8] = {2000, 20000};
    int sizeCount = 2;
    if (argc > 1) {
        sizeCount = 0;
        for (int i = 1; i < argc && sizeCount < 8; i++) {
            sizes[sizeCount++] = atoi(argv[i]);
        }
    }
    bool ok = true;
    for (int s = 0; s < sizeCount; s++) {
        std::string text;
        for (int i = 0; i < sizes[s]; i++) {
            appendBlock(text, i);
        }
        for (int run = 0; run < 3; run++) {
            ok = runOnce(folder, sizes[s], text) && ok;
        }
    }

    closeEventLog("");
    DeleteFileA((std::string(folder) + "MailTmp.txt").c_str());
    DeleteFileA((std::string(folder) + "GetMail.txt").c_str());
    DeleteFileA(logPath.c_str());
    RemoveDirectoryA(folder);
    return ok ? 0 : 1;
}
