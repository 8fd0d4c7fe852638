#!/usr/bin/env bash
# Builds the reference service with the host's compiler for the Windows
# configuration, whose own toolchain only makes Windows programs: the service,
# and the parts of the program its live pool checks and reads sources with.
#   build_native_service.sh SOURCE_ROOT OUTPUT
set -euo pipefail
root="$1" out="$2"
# shellcheck disable=SC2046  # pkg-config prints separate words on purpose
c++ -std=c++20 -O1 -pthread -I"$root/src" -I"$root/tools" -o "$out" \
  "$root"/tools/service/*.cpp \
  "$root"/src/search/{digit_codec,base64}.cpp \
  "$root"/src/judge/{judge,probe_runner}.cpp \
  "$root"/src/http/{cookie_jar,http_client,reply_reader,request,resolve,url,socket_posix}.cpp \
  "$root"/src/core/{proxy_address,text,settings_store,ini_text,text_encoding}.cpp \
  "$root"/src/checker/paste_grammar.cpp \
  $(pkg-config --cflags --libs cpp-httplib sqlite3)
