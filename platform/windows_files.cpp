// Windows: files, the ROM's and the snapshots', with UTF-16 paths.
// windows_internal.h first: it brings <windows.h> as every file here wants it.
#include "platform/windows_internal.h"


#include <algorithm>
#include <cwchar>
#include <memory>

#include "platform/platform.h"

namespace velloran {

using namespace windows;

namespace windows {

// Windows counts the bytes of one read or write call in 32 bits.
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;

std::size_t transferSize(std::size_t wanted) {
  return wanted < kMaxTransfer ? wanted : kMaxTransfer;
}

HANDLE handleOf(const FileHandle& file) {
  return reinterpret_cast<HANDLE>(file.native());
}

// A pipe or a character device (a console, NUL) can keep a read waiting.
FileHandle ownHandle(HANDLE handle) {
  if (handle == INVALID_HANDLE_VALUE) return FileHandle();
  return FileHandle(reinterpret_cast<std::intptr_t>(handle), GetFileType(handle) != FILE_TYPE_DISK);
}

// UTF-8 as typed into the console; bytes that are not UTF-8 (a script saved
// in the ANSI code page) are read in that code page instead.
std::wstring widePath(const std::string& path) {
  UINT codePage = CP_UTF8;
  DWORD flags = MB_ERR_INVALID_CHARS;
  int length = MultiByteToWideChar(codePage, flags, path.data(), static_cast<int>(path.size()), nullptr, 0);
  if (length == 0 && !path.empty()) {
    codePage = CP_ACP;
    flags = 0;
    length = MultiByteToWideChar(codePage, flags, path.data(), static_cast<int>(path.size()), nullptr, 0);
  }
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(codePage, flags, path.data(), static_cast<int>(path.size()), &wide[0], length);
  return wide;
}

std::string utf8Of(const wchar_t* text, int count) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, text, count, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
  if (length > 0) WideCharToMultiByte(CP_UTF8, 0, text, count, &bytes[0], length, nullptr, nullptr);
  return bytes;
}

// The system's words for an error, without the line end and full stop that
// end them.
std::string messageOf(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message = length > 0 ? utf8Of(text, static_cast<int>(length)) : "error " + std::to_string(error);
  LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.')) {
    message.pop_back();
  }
  return message;
}

}  // namespace windows

bool FileHandle::close() {
  if (native_ == -1) return true;
  const BOOL closed = CloseHandle(reinterpret_cast<HANDLE>(native_));
  native_ = -1;
  return closed != 0;
}

FileHandle openForReading(const std::string& path, std::string& whyNot, bool) {
  const std::wstring wide = widePath(path);
  // Without FILE_FLAG_BACKUP_SEMANTICS a directory does not open.
  FileHandle file = ownHandle(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.isOpen()) return file;
  const DWORD error = GetLastError();
  // A directory gives "access denied", which would send the user looking for
  // a permission problem.
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  const bool isDirectory = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  whyNot = isDirectory ? "Is a directory" : messageOf(error);
  return file;
}

CreateResult createExclusive(const std::string& path, FileHandle& file) {
  const std::wstring wide = widePath(path);
  const bool guarded = stopRequestsCaught != 0 && wide.size() < sizeof newFilePath / sizeof newFilePath[0];
  if (guarded) {
    std::wmemcpy(newFilePath, wide.c_str(), wide.size() + 1);
    InterlockedExchange(&newFileState, kCreating);
  }
  file = ownHandle(CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  const DWORD error = GetLastError();
  if (guarded) {
    const LONG state = file.isOpen() ? kInProgress : kNoNewFile;
    // The handler may have taken the "creating" state while it waits for us.
    if (InterlockedCompareExchange(&newFileState, state, kCreating) != kCreating ||
        secondRequestDuringCreate != 0) {
      if (file.isOpen()) {
        file.close();
        DeleteFileW(wide.c_str());
      }
      ExitProcess(STATUS_CONTROL_C_EXIT);
    }
  }
  if (file.isOpen()) return CreateResult::created;
  if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return CreateResult::nameTaken;
  // A directory under the name gives "access denied"; the attributes of the
  // name itself (a link is not followed) tell it from a real refusal.
  return GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES ? CreateResult::nameTaken
                                                                      : CreateResult::failed;
}

bool setFileLength(const FileHandle& file, std::uint64_t length) {
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
  return SetFileInformationByHandle(handleOf(file), FileEndOfFileInfo, &end, sizeof end) != 0;
}

std::string lastSystemError() {
  const DWORD error = GetLastError();
  return error != 0 ? messageOf(error) : "";
}

void releaseNewFile() {
  InterlockedExchange(&newFileState, kNoNewFile);
}

bool writeAllAt(const FileHandle& file, std::uint64_t offset, const unsigned char* data, std::size_t size) {
  while (size > 0) {
    // On a handle opened for synchronous writes, the offset in the OVERLAPPED
    // says where; the call still waits for the write.
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD written = 0;
    if (!WriteFile(handleOf(file), data, static_cast<DWORD>(transferSize(size)), &written, &at) || written == 0) {
      return false;
    }
    data += written;
    offset += written;
    size -= written;
  }
  return true;
}

ReadResult readFull(const FileHandle& file, unsigned char* data, std::size_t size) {
  ReadResult result{0, false, false};
  while (result.bytesRead < size) {
    DWORD got = 0;
    const BOOL read = whileWaitingFor(file.mayWait(), [&] {
      return ReadFile(handleOf(file), data + result.bytesRead,
                      static_cast<DWORD>(transferSize(size - result.bytesRead)), &got, nullptr);
    });
    if (!read) {
      const DWORD error = GetLastError();
      result.stopped = stopEvent != 0;
      // A pipe whose writer has gone is the end of the input, not an error.
      result.failed = !result.stopped && error != ERROR_BROKEN_PIPE;
      break;
    }
    if (got == 0) break;
    result.bytesRead += got;
  }
  return result;
}

ReadResult readAt(const FileHandle& file, std::uint64_t offset, unsigned char* data, std::size_t size) {
  ReadResult result{0, false, false};
  while (result.bytesRead < size) {
    OVERLAPPED at{};
    const std::uint64_t position = offset + result.bytesRead;
    at.Offset = static_cast<DWORD>(position & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(position >> 32);
    DWORD got = 0;
    if (!ReadFile(handleOf(file), data + result.bytesRead, static_cast<DWORD>(transferSize(size - result.bytesRead)),
                  &got, &at)) {
      result.failed = GetLastError() != ERROR_HANDLE_EOF;
      break;
    }
    if (got == 0) break;
    result.bytesRead += got;
  }
  return result;
}

bool fileLength(const FileHandle& file, std::uint64_t& length) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(handleOf(file), &size)) return false;
  length = static_cast<std::uint64_t>(size.QuadPart);
  return true;
}

SeekResult seekTo(const FileHandle& file, std::uint64_t offset) {
  if (file.mayWait()) return SeekResult::notSeekable;
  LARGE_INTEGER target;
  target.QuadPart = static_cast<LONGLONG>(offset);
  LARGE_INTEGER reached;
  const bool moved =
      SetFilePointerEx(handleOf(file), target, &reached, FILE_BEGIN) && reached.QuadPart == target.QuadPart;
  return moved ? SeekResult::reached : SeekResult::failed;
}

bool removeFile(const std::string& path) {
  return DeleteFileW(widePath(path).c_str()) != 0;
}

bool forEachNameIn(const std::string& folder, const std::function<void(std::string_view)>& eachName) {
  struct Close {
    void operator()(void* listing) const { FindClose(listing); }
  };
  WIN32_FIND_DATAW found{};
  const HANDLE first = FindFirstFileExW(widePath(folder + "\\*").c_str(), FindExInfoBasic, &found,
                                        FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (first == INVALID_HANDLE_VALUE) return false;
  const std::unique_ptr<void, Close> listing(first);
  do {
    const std::string name = utf8Of(found.cFileName, static_cast<int>(std::wcslen(found.cFileName)));
    if (name != "." && name != "..") eachName(name);
  } while (FindNextFileW(listing.get(), &found));
  return GetLastError() == ERROR_NO_MORE_FILES;
}

bool isFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(widePath(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    // Only a name that is surely not there is refused; any other error is
    // left for the writes to report, should it last.
    const DWORD error = GetLastError();
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND && error != ERROR_INVALID_NAME;
  }
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool isPathSeparator(char c) {
  return c == '/' || c == '\\';
}

}  // namespace velloran
