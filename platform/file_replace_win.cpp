// The atomic replace on Windows: write, flush, MoveFileExW over the old
// file with the move written through to the disk.
#include <windows.h>

#include "platform/file_replace.h"

namespace {

// The path in UTF-16 from the program's code page.
std::wstring WidePath(const std::string& path) {
    int length = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    if (length <= 0) {
        return std::wstring();
    }
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &wide[0], length);
    wide.resize(static_cast<size_t>(length - 1));
    return wide;
}

// The system's text for an error code, on one line.
std::string ErrorText(DWORD code) {
    char text[256] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, text, sizeof text, nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\r' || message.back() == '\n' ||
                                message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    return message.empty() ? "error " + std::to_string(code) : message;
}

// A reader that has the old file open (the window or a remote session
// reading a line) makes the move fail for a moment: it is tried again for
// at most kMoveAttempts * kMoveRetryMs.
const int kMoveAttempts = 10;
const DWORD kMoveRetryMs = 20;

bool MoveOver(const std::wstring& from, const std::wstring& to, DWORD* code) {
    for (int attempt = 0; attempt < kMoveAttempts; ++attempt) {
        if (MoveFileExW(from.c_str(), to.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return true;
        }
        *code = GetLastError();
        if (*code != ERROR_SHARING_VIOLATION && *code != ERROR_ACCESS_DENIED) {
            return false;
        }
        Sleep(kMoveRetryMs);
    }
    return false;
}

}  // namespace

bool ReplaceFileContents(const std::string& path, const std::string& bytes, std::string* error) {
    std::wstring target = WidePath(path);
    std::wstring temp = WidePath(path + kReplaceTempSuffix);
    if (target.empty() || temp.empty()) {
        *error = "the path cannot be converted";
        return false;
    }
    DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        *error = "the file is read-only";
        return false;
    }
    HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = ErrorText(GetLastError());
        return false;
    }
    DWORD written = 0;
    bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size() && FlushFileBuffers(file);
    DWORD code = ok ? 0 : GetLastError();
    CloseHandle(file);
    if (ok && !MoveOver(temp, target, &code)) {
        ok = false;
    }
    if (!ok) {
        *error = ErrorText(code);
        DeleteFileW(temp.c_str());
    }
    return ok;
}
