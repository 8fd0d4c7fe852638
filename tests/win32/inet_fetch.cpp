// Another program on the user's machine: fetches a URL through WinInet with
// the settings the user has (INTERNET_OPEN_TYPE_PRECONFIG), as every
// program that follows Windows does, and prints the status and the body.
// Exit status 0 for a 200, 1 for anything else, 2 for bad arguments.
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  HINTERNET session = InternetOpenA("cloakwise-test", INTERNET_OPEN_TYPE_PRECONFIG, nullptr,
                                    nullptr, 0);
  if (!session) return 1;
  // Bounded: a dead proxy must fail the fetch, not hang the test.
  DWORD timeout = 8000;
  for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT,
                       INTERNET_OPTION_SEND_TIMEOUT}) {
    InternetSetOptionA(session, option, &timeout, sizeof timeout);
  }
  HINTERNET request = InternetOpenUrlA(session, argv[1], nullptr, 0,
                                       INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
  if (!request) {
    std::printf("failed %lu\n", GetLastError());
    InternetCloseHandle(session);
    return 1;
  }
  DWORD status = 0;
  DWORD size = sizeof status;
  HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr);
  std::string body;
  char buffer[4096];
  DWORD read = 0;
  while (InternetReadFile(request, buffer, sizeof buffer, &read) && read > 0 && body.size() < 65536)
    body.append(buffer, read);
  std::printf("%lu %s\n", status, body.c_str());
  InternetCloseHandle(request);
  InternetCloseHandle(session);
  return status == 200 ? 0 : 1;
}
