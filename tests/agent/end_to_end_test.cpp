// Korvel.exe from a prepared installation against the test session's POP3,
// update and telegram servers: it starts, polls, leaves its files, shows its
// tray icon, and shuts down, also in the middle of a poll.
#include "agent_process.h"
#include "http_fixtures.h"
#include "pop3_fixtures.h"
#include "win_test_support.h"

#include "resources/resource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

namespace {

constexpr DWORD kPollTimeoutMs = 60000;
constexpr DWORD kTrayDrawTimeoutMs = 10000;

std::string settingsFile(const std::string& extra = "") {
    return "[Korvel]\r\nUpdateServer=" + httpBaseUrl() + "update/\r\nMessageServer=" + httpBaseUrl() + "mess/\r\n" +
           extra;
}

// Every text of expected appears in the log, in this order.
void expectInOrder(const std::vector<std::string>& texts, const std::vector<std::string>& expected) {
    size_t at = 0;
    for (const std::string& want : expected) {
        auto hit = std::find_if(texts.begin() + static_cast<long>(at), texts.end(),
                                [&want](const std::string& t) { return t.compare(0, want.size(), want) == 0; });
        ASSERT_NE(texts.end(), hit) << "missing, or out of order: " << want;
        at = static_cast<size_t>(hit - texts.begin()) + 1;
    }
}

// Every line of the file ends with CR LF and has the ten fields of a record.
void expectWholeRecords(const std::string& path) {
    std::string text = readFile(path);
    if (text.empty()) {
        return;
    }
    EXPECT_EQ("\r\n", text.substr(text.size() - 2)) << path;
    for (const std::string& line : splitLines(text)) {
        EXPECT_EQ(9, std::count(line.begin(), line.end(), ';')) << line;
    }
}

// Pixels of the task bar's notification area in the colours of the mail
// icons (the yellow envelope and its red blink phase).
int mailIconPixels() {
    std::string path = artifactsFolder() + "tray-probe.bmp";
    if (!saveScreenshot(path)) {
        return -1;
    }
    std::string bmp = readFile(path);
    DeleteFileA(path.c_str());
    const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(bmp.data() + sizeof(BITMAPFILEHEADER));
    int width = header->biWidth, height = header->biHeight;
    int stride = ((width * 3 + 3) / 4) * 4;
    const unsigned char* pixels = reinterpret_cast<const unsigned char*>(bmp.data()) + 54;
    int found = 0;
    // Bottom-up rows: the lowest 32 rows, the rightmost 240 columns.
    for (int row = 0; row < 32 && row < height; row++) {
        for (int x = width - 240; x < width; x++) {
            const unsigned char* p = pixels + row * stride + x * 3;
            int b = p[0], g = p[1], r = p[2];
            bool yellow = r > 230 && g > 190 && g < 230 && b < 110;
            bool red = r > 210 && g > 50 && g < 100 && b < 60;
            found += (yellow || red) ? 1 : 0;
        }
    }
    return found;
}

// Starts the agent on a scripted mailbox whose server holds the poll before
// the fourth mail's header, and waits until it does.
void startAgentHeldInAPoll(Installation& inst, ChildProcess& agent, HWND& window) {
    setFakePop3Scenario("{\"messages\": " + corpusJsonList(corpusMailNames()) + ", \"holdOn\": \"TOP 4 0\"}");
    ASSERT_TRUE(writeFile(inst.service() + "MailBox.txt", "A;Фейк;ivan@fake.test;secret;fake.test;110\r\n"));
    ASSERT_TRUE(writeFile(inst.service() + "Korvel.ini", settingsFile()));
    setVersionFile("10");
    ASSERT_TRUE(agent.start(inst.exe()));
    window = waitForAgent(agent);
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(waitForFakePop3Held(kPollTimeoutMs)); // at "TOP 4 0"
    // The start-up's poll request keeps the window busy for its notice pause:
    // the request to end comes after it, so that only the shutdown's wait
    // for the poll stops the window answering.
    DWORD_PTR result = 0;
    ASSERT_TRUE(SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, kPollTimeoutMs, &result));
}

// Waits until the agent's window stops answering (its end waits for the held
// poll) or the agent has ended; false when it still answers after a poll's
// time.
bool waitUntilBusyOrGone(HWND window, const ChildProcess& agent) {
    DWORD start = GetTickCount();
    DWORD_PTR result = 0;
    while (agent.running() && SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 200, &result)) {
        if (GetTickCount() - start > kPollTimeoutMs) {
            return false;
        }
    }
    return true;
}

// After an end in the middle of that poll: the interruption and the closing
// line logged, no half-written record or identifier, no temporary file.
void expectPollStoppedWhole(Installation& inst) {
    std::string log = readFile(inst.log());
    EXPECT_NE(std::string::npos, log.find("Приём почты прерван"));
    std::vector<std::string> texts = logTexts(inst.log());
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ("Агент завершил работу", texts[texts.size() - 2]);
    EXPECT_FALSE(fileExists(inst.service() + "MailTmp.txt"));
    expectWholeRecords(inst.service() + "GetMail.txt");
    std::string ids = readFile(inst.service() + "IdMail.txt");
    EXPECT_TRUE(ids.empty() || ids.substr(ids.size() - 2) == "\r\n");
    // What arrived whole before the stop became records, nothing more: the
    // held fourth header is the last that can arrive.
    EXPECT_LE(splitLines(readFile(inst.service() + "GetMail.txt")).size(), 4u);
}

} // namespace

TEST(EndToEnd, StartPollShowMailAndShutDown) {
    ASSERT_FALSE(httpBaseUrl().empty()) << "run under tools/test.sh (test servers)";
    Installation inst;
    DovecotMailbox box;
    box.addCorpus();
    ASSERT_TRUE(writeFile(inst.service() + "MailBox.txt",
                          "A;Работа;" + box.user() + ";" + box.password() + ";pop3.alpha.test;110\r\n"));
    ASSERT_TRUE(writeFile(inst.service() + "MessBox.txt", "A;Друг;six;s;\r\n"));
    ASSERT_TRUE(writeFile(inst.service() + "Korvel.ini", settingsFile("Blink=1\r\n")));
    setTelegramAccounts(
        "{\"six\": {\"password\": \"s\", \"records\": [\"14\\tАнна\\t2026-12-07\\tпривет\\tкак дела\"]}}");
    setHttpBehaviour("{}");
    setVersionFile("12,250000");

    ChildProcess agent;
    ASSERT_TRUE(agent.start(inst.exe()));
    HWND window = waitForAgent(agent);
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(waitForLogText(inst.log(), "Поток опроса почты завершился", kPollTimeoutMs));

    std::vector<std::string> records = splitLines(readFile(inst.service() + "GetMail.txt"));
    ASSERT_EQ(corpusMailNames().size(), records.size());
    EXPECT_EQ(0u, records[0].find("1;0;Работа;" + box.user() + ";"));
    EXPECT_EQ(0u, records.back().find(std::to_string(records.size()) + ";0;Работа;"));
    expectWholeRecords(inst.service() + "GetMail.txt");
    EXPECT_EQ(corpusMailNames().size(), splitLines(readFile(inst.service() + "IdMail.txt")).size());
    std::vector<std::string> telegrams = splitLines(readFile(inst.service() + "GetMess.txt"));
    ASSERT_EQ(1u, telegrams.size());
    EXPECT_EQ("Друг;six;s;14;Анна;2026-12-07;привет;как дела\t", telegrams[0]);
    EXPECT_EQ("A;Друг;six;s;15\r\n", readFile(inst.service() + "MessBox.txt"));
    std::string ini = readFile(inst.service() + "Korvel.ini");
    EXPECT_NE(std::string::npos, ini.find("NewVersion=12"));
    EXPECT_NE(std::string::npos, ini.find("VersionSize=250000"));

    expectInOrder(logTexts(inst.log()),
                  {"Агент стартовал",
                   "Слить файлы новых писем не удалось",
                   "Слить файлы новых писем с Архивом не удалось",
                   "Запрос приема сообщений...",
                   "Прием телеграмм. Логин: six  Пароль: ******** Идентификатор 0",
                   "Запрос приема писем...",
                   "Загрузка почтовых ящиков из файла ",
                   "Создание временного файла заголовков ",
                   "Загрузка писем к удалению из файла ",
                   "Загрузка Идентификаторов ранее принятых писем из файла ",
                   "Сервер " + box.user() + " обнаружен",
                   "Соединение с сервером установлено",
                   "PASS ********",
                   "QUIT",
                   "Писем к удалению не было",
                   "Обработка заголовков",
                   "Сохраняем новые идентификаторы писем ",
                   "Обработка заголовков заверешена. Принято писем " + std::to_string(corpusMailNames().size()),
                   "Принят файл ver.dat с содержимым: 12,250000",
                   "Новая версия на сайте = 12",
                   "Файл обновления имеет размер = 250000",
                   "Поток опроса почты завершился"});
    EXPECT_EQ(std::string::npos, readFile(inst.log()).find(box.password()));

    // The tray shows mail (steady or blinking) and the balloon of the new
    // version: a picture of the desktop is kept with the run's artefacts.
    // The task bar draws the icon a moment after it was asked: the screen is
    // looked at again until it shows it.
    DWORD shownBy = GetTickCount() + kTrayDrawTimeoutMs;
    while (mailIconPixels() <= 20 && GetTickCount() < shownBy) {
        Sleep(100);
    }
    EXPECT_GT(mailIconPixels(), 20);
    EXPECT_TRUE(saveScreenshot(artifactsFolder() + "agent-after-poll.bmp"));

    ASSERT_TRUE(quitAgent(window, agent));
    std::vector<std::string> texts = logTexts(inst.log());
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ("Агент завершил работу", texts[texts.size() - 2]);
    EXPECT_EQ("", texts.back());
    EXPECT_FALSE(fileExists(inst.service() + "MailTmp.txt"));

    // The next start merges the fresh mails into the new-mail list and the
    // archive, and counts them for the tray.
    setVersionFile("12,250000");
    ChildProcess again;
    ASSERT_TRUE(again.start(inst.exe()));
    window = waitForAgent(again);
    ASSERT_NE(nullptr, window);
    // (The start's first poll may already be writing a new GetMail.txt.)
    EXPECT_EQ(corpusMailNames().size(), splitLines(readFile(inst.service() + "Mail.txt")).size());
    EXPECT_EQ(corpusMailNames().size(), splitLines(readFile(inst.service() + "HistMail.txt")).size());
    expectInOrder(logTexts(inst.log()),
                  {"Агент стартовал", "Слили файлы новых писем", "Слили файлы новых писем с Архивом"});
    ASSERT_TRUE(waitForLogText(inst.log(), "Поток опроса почты завершился", kPollTimeoutMs));
    // Nothing new on the server: nothing is offered again.
    EXPECT_TRUE(splitLines(readFile(inst.service() + "GetMail.txt")).empty());
    EXPECT_TRUE(quitAgent(window, again));
}

TEST(EndToEnd, ShutdownDuringAPollLeavesNoHalfWrittenFile) {
    ASSERT_FALSE(httpBaseUrl().empty()) << "run under tools/test.sh (test servers)";
    Installation inst;
    HWND window = nullptr;
    ChildProcess agent;
    ASSERT_NO_FATAL_FAILURE(startAgentHeldInAPoll(inst, agent, window));
    ASSERT_NE(nullptr, window);

    DWORD quitAt = GetTickCount();
    ASSERT_TRUE(PostMessageA(window, WM_COMMAND, IDM_QUIT, 0));
    // The agent's window stops answering once its shutdown has asked the
    // poll to stop and waits for it; then the server answers again.
    EXPECT_TRUE(waitUntilBusyOrGone(window, agent));
    releaseFakePop3();
    DWORD code = 1234;
    ASSERT_TRUE(agent.wait(kAgentStartTimeoutMs, &code));
    EXPECT_EQ(0u, code);
    EXPECT_LT(GetTickCount() - quitAt, 8000u); // well inside the ten seconds of grace

    expectPollStoppedWhole(inst);
}

// Logging off in the middle of a poll ends the agent as its menu does, and
// all of it is done before the end of the session is acknowledged.
TEST(EndToEnd, LogoffDuringAPollEndsTheAgentBeforeTheSessionEnds) {
    ASSERT_FALSE(httpBaseUrl().empty()) << "run under tools/test.sh (test servers)";
    Installation inst;
    HWND window = nullptr;
    ChildProcess agent;
    ASSERT_NO_FATAL_FAILURE(startAgentHeldInAPoll(inst, agent, window));
    ASSERT_NE(nullptr, window);

    DWORD_PTR result = 0;
    ASSERT_TRUE(
        SendMessageTimeoutA(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, kPollTimeoutMs, &result));
    EXPECT_EQ(static_cast<DWORD_PTR>(TRUE), result);
    std::string logWhenEnded;
    std::thread session([&] {
        DWORD_PTR ignored = 0;
        SendMessageTimeoutA(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL, kPollTimeoutMs, &ignored);
        logWhenEnded = readFile(inst.log());
    });
    // The window stops answering once the end of the session has asked the
    // poll to stop and waits for it; then the server answers again.
    EXPECT_TRUE(waitUntilBusyOrGone(window, agent));
    releaseFakePop3();
    session.join();
    EXPECT_NE(std::string::npos, logWhenEnded.find("Агент завершил работу"));
    DWORD code = 1234;
    ASSERT_TRUE(agent.wait(kAgentStartTimeoutMs, &code));
    EXPECT_EQ(0u, code);
    expectPollStoppedWhole(inst);
}

TEST(EndToEnd, KillBetweenTheMailRecordsAndTheIdentifiersLosesNoMail) {
    ASSERT_FALSE(httpBaseUrl().empty()) << "run under tools/test.sh (test servers)";
    Installation inst;
    DovecotMailbox box;
    box.addCorpus();
    ASSERT_TRUE(writeFile(inst.service() + "MailBox.txt",
                          "A;Работа;" + box.user() + ";" + box.password() + ";pop3.alpha.test;110\r\n"));
    ASSERT_TRUE(writeFile(inst.service() + "Korvel.ini", settingsFile()));
    setVersionFile("10");

    // The event that stops the agent's run between GetMail.txt and IdMail.txt.
    std::string name = "KorvelCrashTest_" + inst.service();
    CharLowerBuffA(&name[0], static_cast<DWORD>(name.size()));
    std::replace(name.begin(), name.end(), '\\', '_');
    HANDLE stopped = CreateEventA(nullptr, TRUE, FALSE, name.c_str());
    ASSERT_NE(nullptr, stopped);
    ChildProcess agent;
    ASSERT_TRUE(agent.start(inst.exe()));
    DWORD reached = WaitForSingleObject(stopped, kPollTimeoutMs);
    CloseHandle(stopped);
    ASSERT_EQ(WAIT_OBJECT_0, reached);
    agent.kill();
    ASSERT_FALSE(agent.running());
    EXPECT_EQ(corpusMailNames().size(), splitLines(readFile(inst.service() + "GetMail.txt")).size());
    EXPECT_FALSE(fileExists(inst.service() + "IdMail.txt"));

    // The next start keeps every mail; its poll may announce them again.
    ChildProcess again;
    ASSERT_TRUE(again.start(inst.exe()));
    HWND window = waitForAgent(again);
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(corpusMailNames().size(), splitLines(readFile(inst.service() + "HistMail.txt")).size());
    ASSERT_TRUE(waitForLogText(inst.log(), "Поток опроса почты завершился", kPollTimeoutMs));
    EXPECT_TRUE(quitAgent(window, again));
}

// The mail does not depend on the update server: with that server silent,
// a system that reports a network still polls its mailboxes.
TEST(EndToEnd, AnUnreachableUpdateServerWithAReachableDovecotStillBringsTheMail) {
    ASSERT_FALSE(httpBaseUrl().empty()) << "run under tools/test.sh (test servers)";
    Installation inst;
    DovecotMailbox box;
    box.addMessage(corpusMail(corpusMailNames()[0]));
    box.addMessage(corpusMail(corpusMailNames()[1]));
    ASSERT_TRUE(writeFile(inst.service() + "MailBox.txt",
                          "A;Работа;" + box.user() + ";" + box.password() + ";pop3.alpha.test;110\r\n"));
    ASSERT_TRUE(writeFile(inst.service() + "Korvel.ini", "[Korvel]\r\nUpdateServer=http://127.0.0.1:9/\r\n"
                                                         "MessageServer=" +
                                                             httpBaseUrl() + "mess/\r\n"));
    SystemNetwork network;
    ASSERT_TRUE(network.up());

    ChildProcess agent;
    ASSERT_TRUE(agent.start(inst.exe()));
    HWND window = waitForAgent(agent);
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(waitForLogText(inst.log(), "Поток опроса почты завершился", kPollTimeoutMs));
    EXPECT_EQ(2u, splitLines(readFile(inst.service() + "GetMail.txt")).size());
    std::vector<std::string> texts = logTexts(inst.log());
    expectInOrder(texts,
                  {"Поток опроса почты - Сервер обновлений не отвечает, опрос почты продолжается.",
                   "Запрос приема писем...", "Обработка заголовков заверешена. Принято писем 2",
                   "Затрудняюсь соединиться с сервером для опроса новой версии.", "Поток опроса почты завершился"});
    EXPECT_EQ(0, std::count(texts.begin(), texts.end(), "Поток опроса почты - Нет соединения с Интернет!"));
    EXPECT_TRUE(quitAgent(window, agent));
}

namespace {

// Opens the settings of a running agent and moves to the options tab as a
// user would (the arrow key); the options page, or null.
HWND openOptionsPage(HWND agentWindow, const ChildProcess& agent) {
    PostMessageA(agentWindow, WM_COMMAND, IDM_SETTINGS, 0);
    HWND dialog = waitForWindow(agent.id(), "#32770", "Настройки Агента", kAgentStartTimeoutMs);
    if (dialog == nullptr) {
        return nullptr;
    }
    PostMessageA(FindWindowExA(dialog, nullptr, "SysTabControl32", nullptr), WM_KEYDOWN, VK_RIGHT, 0);
    DWORD start = GetTickCount();
    while (GetTickCount() - start < kAgentStartTimeoutMs) {
        for (HWND page = FindWindowExA(dialog, nullptr, "#32770", nullptr); page != nullptr;
             page = FindWindowExA(dialog, page, "#32770", nullptr)) {
            if (GetDlgItem(page, IDC_OPTIONS_UPDATE) != nullptr) {
                return page;
            }
        }
        Sleep(50); // the page is looked for again until the tab shows it
    }
    return nullptr;
}

// Starts the agent of inst with version 11 offered (the server announces
// none, so nothing replaces the offer), waits for its first poll and opens
// the options page.
void startAgentOfferingAnUpdate(Installation& inst, ChildProcess& agent, HWND& window, HWND& page) {
    removeVersionFile();
    ASSERT_TRUE(writeFile(inst.service() + "Korvel.ini", settingsFile("NewVersion=11\r\n")));
    ASSERT_TRUE(agent.start(inst.exe()));
    window = waitForAgent(agent);
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(waitForLogText(inst.log(), "Поток опроса почты завершился", kPollTimeoutMs));
    page = openOptionsPage(window, agent);
    ASSERT_NE(nullptr, page);
}

} // namespace

// The update button of the options page, pressed in a running agent: the
// updater arrives in pieces, is started with the agent's version, and the
// agent ends.
TEST(EndToEnd, AnUpdateStartsTheUpdaterAndEndsTheAgent) {
    ASSERT_FALSE(httpBaseUrl().empty()) << "run under tools/test.sh (test servers)";
    std::string updater = readFile(testProgramFolder() + "fake_updater.exe");
    ASSERT_FALSE(updater.empty());
    updater.resize(std::max<size_t>(updater.size(), 300000), '\0');
    setUpdateFile(updater);
    setHttpBehaviour("{\"download\": {\"chunked\": true, \"chunkDelayMs\": 100}}");
    Installation inst;
    ChildProcess agent;
    HWND window = nullptr;
    HWND page = nullptr;
    ASSERT_NO_FATAL_FAILURE(startAgentOfferingAnUpdate(inst, agent, window, page));
    ASSERT_TRUE(IsWindowEnabled(GetDlgItem(page, IDC_OPTIONS_UPDATE)));
    PostMessageA(page, WM_COMMAND, IDC_OPTIONS_UPDATE, 0);

    DWORD exitCode = 1;
    ASSERT_TRUE(agent.wait(kPollTimeoutMs, &exitCode));
    EXPECT_EQ(0u, exitCode);
    ASSERT_TRUE(waitForFile(inst.folder() + "updater-args.txt", kPollTimeoutMs));
    EXPECT_EQ("\"" + inst.folder() + "Velnor.exe\" 10", readFile(inst.folder() + "updater-args.txt"));
    EXPECT_EQ(updater, readFile(inst.folder() + "Velnor.exe"));
    expectInOrder(logTexts(inst.log()),
                  {"Принят файл обновления в " + std::to_string(updater.size()) + " байт. Нет гарантии на его полноту!",
                   "Файл обновлений загружен. Обновляю.", "Агент завершил работу"});
    setHttpBehaviour("{}");
    // The updater's file goes with the folder once the updater has ended.
    EXPECT_TRUE(waitForProcessesToEnd("Velnor.exe", kPollTimeoutMs));
}

// An update that trickles in keeps the agent answering; quitting the agent
// ends the download at once and leaves no part of the file behind.
TEST(EndToEnd, QuittingDuringASlowUpdateEndsTheDownload) {
    ASSERT_FALSE(httpBaseUrl().empty()) << "run under tools/test.sh (test servers)";
    setUpdateFile(std::string(300000, 'x')); // 150 s at 2,000 bytes a second
    setHttpBehaviour("{\"download\": {\"chunkDelayMs\": 1000, \"pieceBytes\": 2000}}");
    Installation inst;
    ChildProcess agent;
    HWND window = nullptr;
    HWND page = nullptr;
    ASSERT_NO_FATAL_FAILURE(startAgentOfferingAnUpdate(inst, agent, window, page));
    PostMessageA(page, WM_COMMAND, IDC_OPTIONS_UPDATE, 0);
    ASSERT_TRUE(waitForFile(inst.folder() + "Velnor.exe.tmp", kPollTimeoutMs));

    DWORD_PTR result = 0;
    EXPECT_NE(0, SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result));
    DWORD quitAt = GetTickCount();
    ASSERT_TRUE(quitAgent(window, agent));
    EXPECT_LT(GetTickCount() - quitAt, 10000u); // the body would take minutes more
    setHttpBehaviour("{}");
    EXPECT_FALSE(fileExists(inst.folder() + "Velnor.exe"));
    expectInOrder(logTexts(inst.log()), {"Загрузка файла обновления отменена.", "Агент завершил работу"});
    // Whatever the end of the process left of the file, the next start
    // removes.
    ChildProcess again;
    ASSERT_TRUE(again.start(inst.exe()));
    window = waitForAgent(again);
    ASSERT_NE(nullptr, window);
    EXPECT_FALSE(fileExists(inst.folder() + "Velnor.exe.tmp"));
    EXPECT_TRUE(quitAgent(window, again));
}
