#pragma once

// The real platform layer of cloakwise.exe. Only this folder, ui/win32/ and
// the Windows entry point include <windows.h>.

#include <exception>
#include <functional>
#include <map>
#include <mutex>

#include "platform/files.h"
#include "platform/internet_options.h"
#include "platform/registry.h"
#include "platform/sqlite.h"
#include "platform/ui_thread.h"

namespace cloakwise::platform {

class Win32Registry : public Registry {
 public:
  std::optional<Key> OpenKey(RegistryRoot root, const std::string& path, bool create) override;
  void CloseKey(Key key) override;
  bool WriteString(Key key, const std::string& name, const std::string& value) override;
  bool WriteDword(Key key, const std::string& name, std::uint32_t value) override;
  bool DeleteValue(Key key, const std::string& name) override;
  std::vector<std::string> ListValueNames(Key key) override;
  std::optional<std::string> ReadString(Key key, const std::string& name) override;
  std::optional<RegistryValue> ReadValue(Key key, const std::string& name) override;
  bool WriteValue(Key key, const std::string& name, const RegistryValue& value) override;
  bool DeleteKey(RegistryRoot root, const std::string& path) override;
};

class Win32InternetOptions : public InternetOptions {
 public:
  bool SetProxy(const ProxyInfo& info) override;
  bool SetPerConnection(const PerConnectionOptionList& list) override;
  bool Notify(std::uint32_t option) override;
  std::vector<std::optional<PerConnectionOptionList>> QueryConnections(
      const std::vector<std::string>& connections,
      const std::vector<std::uint32_t>& options) override;
};

class Win32FileSystem : public FileSystem {
 public:
  std::optional<std::string> ReadFile(const std::string& path) override;
  bool WriteFileAtomic(const std::string& path, std::string_view content) override;
  bool WriteFileInPlace(const std::string& path, std::string_view content) override;
  int RemoveAbandonedTemporaryFiles(const std::string& path) override;
  bool FileExists(const std::string& path) override;
  bool HeldByAnotherProgram(const std::string& path) override;
  std::optional<std::int64_t> LastWriteTime(const std::string& path) override;
  bool RemoveFile(const std::string& path) override;
  std::optional<std::vector<DirectoryEntry>> ListDirectory(const std::string& folder) override;
  bool RemoveEmptyFolder(const std::string& folder) override;
  std::optional<std::vector<DirectoryEntry>> ListDirectoryToEmpty(
      const std::string& folder) override;
  std::optional<std::string> FinalFolderPath(const std::string& folder) override;
  std::string LastErrorText() override;

 private:
  // fileLinks: tell a Unix link to a file, which Wine lists as a plain file.
  std::optional<std::vector<DirectoryEntry>> List(const std::string& folder, bool fileLinks);
};

// winsqlite3.dll, when the system has it.
class Win32Sqlite : public Sqlite {
 public:
  std::unique_ptr<SqliteDatabase> Open(const std::string& path, int busyMs,
                                       OpenResult& result) override;
};

// The user-interface thread is the thread that creates this object. Tasks
// and timers are carried by a hidden message-only window of its own.
class Win32UiThread : public UiThread {
 public:
  Win32UiThread();
  ~Win32UiThread() override;
  Win32UiThread(const Win32UiThread&) = delete;
  Win32UiThread& operator=(const Win32UiThread&) = delete;

  void Post(std::function<void()> task) override;
  void Send(const std::function<void()>& task) override;
  void ProcessMessages() override;
  TimerId StartTimer(std::uint32_t intervalMs, std::function<void()> onTick) override;
  void StopTimer(TimerId id) override;

  // Runs the message loop until WM_QUIT; returns its exit code.
  int RunMessageLoop();

  // An exception that escapes a posted task or a timer handler cannot travel
  // through the window procedure; it is handed here instead.
  std::function<void(std::exception_ptr)> onError;

  // Window procedure plumbing; not for callers.
  std::intptr_t HandleMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);

 private:
  void Report(std::exception_ptr error);

  void* window_ = nullptr;   // HWND
  unsigned long owner_ = 0;  // thread id
  std::mutex mutex_;
  bool shutdown_ = false;
  std::map<TimerId, std::function<void()>> timers_;
  TimerId nextTimer_ = 1;
};

}  // namespace cloakwise::platform
