// The built Pellinor.dll on Windows (or Wine), loaded as the importer loads
// it: the exports by name and by ordinal, the event log, and WM_COPYDATA to
// an engine window of our own.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "Pellinor/EngineMessage.h"
#include "Platform/Win32/Win32Api.h"
#include "tests/Support/TempDir.h"
#include "tests/Support/Win32Child.h"

namespace {

using SendLogSvrLogFunction = int(__cdecl*)(const char*, const char*);
using SendPellinorFunction = int(__cdecl*)(const void*);

// データベース, a tab, タブ: code page 932 bytes, as the importer's texts are
// compiled on Windows.
const char kJapanese[] = "\x83\x66\x81\x5B\x83\x5E\x83\x78\x81\x5B\x83\x58\t\x83\x5E\x83\x75";

class PellinorWin32 : public ::testing::Test {
protected:
    void SetUp() override {
        m_library =
            Platform::Win32::CModuleHandle(LoadLibraryA(BesideThisProgram("Pellinor.dll").c_str()));
        ASSERT_TRUE(m_library.Valid()) << GetLastError();
        m_sendLog = reinterpret_cast<SendLogSvrLogFunction>(
            reinterpret_cast<void (*)()>(GetProcAddress(m_library.Get(), "SendLogSvrLog")));
        m_sendPellinor = reinterpret_cast<SendPellinorFunction>(
            reinterpret_cast<void (*)()>(GetProcAddress(m_library.Get(), "SendPellinor")));
        ASSERT_NE(nullptr, m_sendLog);
        ASSERT_NE(nullptr, m_sendPellinor);
    }
    Platform::Win32::CModuleHandle m_library;
    SendLogSvrLogFunction m_sendLog = nullptr;
    SendPellinorFunction m_sendPellinor = nullptr;
};

TEST_F(PellinorWin32, ExportsByOrdinalAreTheNamedOnes) {
    EXPECT_EQ(reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(m_sendPellinor)),
              GetProcAddress(m_library.Get(), MAKEINTRESOURCEA(1)));
    EXPECT_EQ(reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(m_sendLog)),
              GetProcAddress(m_library.Get(), MAKEINTRESOURCEA(2)));
}

TEST_F(PellinorWin32, SendLogSvrLogReturnsOneForEveryWrittenEvent) {
    EXPECT_EQ(0, m_sendLog(nullptr, "x"));
    EXPECT_EQ(0, m_sendLog("010108", nullptr));
    EXPECT_EQ(1, m_sendLog("010108", kJapanese));
    EXPECT_EQ(1, m_sendLog("-2147472426", "text"));
    EXPECT_EQ(1, m_sendLog("abc", ""));
}

// The event goes to the event log with the text as its one string. Wine
// keeps no event log: its ReportEventW writes each warning's strings to the
// "eventlog" debug channel, where tools/test.sh looks for this text decoded
// from code page 932 (L"\30c7\30fc\30bf\30d9\30fc\30b9\t\30bf\30d6").
TEST_F(PellinorWin32, WritesACodePage932Event) {
    ASSERT_EQ(932u, GetACP()) << "run with the Japanese code page (LC_ALL=ja_JP.UTF-8 on Wine)";
    EXPECT_EQ(1, m_sendLog("010108", kJapanese));
}

// An engine window on a thread of its own, as the product's engine has:
// it keeps what WM_COPYDATA brought, and can be made to hang.
class CEngineWindow {
public:
    explicit CEngineWindow(int hangMs = 0) : m_hangMs(hangMs) {
        m_thread = std::thread([this] { Run(); });
        while (!m_ready) std::this_thread::yield();
    }
    ~CEngineWindow() {
        if (m_window)
            PostMessageA(m_window, WM_CLOSE, 0, 0);
        m_thread.join();
    }
    bool Created() const { return m_window != nullptr; }
    std::uintptr_t kind = 0;
    std::uint32_t size = 0;
    std::string bytes;
    std::atomic<int> received{0};

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
        auto* self = reinterpret_cast<CEngineWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (message == WM_COPYDATA && self) {
            const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(l);
            self->kind = data->dwData;
            self->size = data->cbData;
            self->bytes.assign(static_cast<const char*>(data->lpData), data->cbData);
            ++self->received;
            if (self->m_hangMs)
                Sleep(self->m_hangMs);
            return TRUE;
        }
        if (message == WM_CLOSE) {
            DestroyWindow(window);
            return 0;
        }
        if (message == WM_DESTROY) {
            PostQuitMessage(0);
            return 0;
        }
        return DefWindowProcA(window, message, w, l);
    }
    void Run() {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = Procedure;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = kEngineClass;
        RegisterClassA(&windowClass);
        m_window = CreateWindowExA(0, kEngineClass, "engine", 0, 0, 0, 0, 0, nullptr, nullptr,
                                   windowClass.hInstance, nullptr);
        if (m_window)
            SetWindowLongPtrA(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        m_ready = true;
        MSG message;
        while (m_window && GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
        UnregisterClassA(kEngineClass, windowClass.hInstance);
    }
    int m_hangMs;
    HWND m_window = nullptr;
    std::atomic<bool> m_ready{false};
    std::thread m_thread;
};

TEST_F(PellinorWin32, SendPellinorDeliversTheRecordOrReportsNoEngine) {
    unsigned char record[kPellinorRecordSize];
    for (size_t i = 0; i < sizeof record; ++i) record[i] = static_cast<unsigned char>(i * 7);
    EXPECT_EQ(0, m_sendPellinor(nullptr));
    EXPECT_EQ(0, m_sendPellinor(record));  // no engine window

    CEngineWindow engine;
    ASSERT_TRUE(engine.Created());
    EXPECT_EQ(1, m_sendPellinor(record));
    EXPECT_EQ(1, engine.received.load());
    EXPECT_EQ(1u, engine.kind);
    EXPECT_EQ(564u, engine.size);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(record), sizeof record), engine.bytes);
}

TEST_F(PellinorWin32, SendPellinorGivesUpOnAHungEngineAfterOneSecond) {
    unsigned char record[kPellinorRecordSize] = {};
    CEngineWindow engine(3000);
    ASSERT_TRUE(engine.Created());
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(1, m_sendPellinor(record));
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now() - start)
                  .count();
    EXPECT_GE(ms, 900);
    EXPECT_LT(ms, 2500);
}

}  // namespace
