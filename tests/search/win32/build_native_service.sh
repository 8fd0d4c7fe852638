#!/usr/bin/env bash
# Builds the reference service with the host's compiler for the Windows
# configuration, whose own toolchain only makes Windows programs.
#   build_native_service.sh SOURCE_ROOT OUTPUT
set -euo pipefail
root="$1" out="$2"
# shellcheck disable=SC2046  # pkg-config prints separate words on purpose
c++ -std=c++20 -O1 -pthread -I"$root/src" -I"$root/tools" -o "$out" \
  "$root"/tools/service/{main,judge,reference_service,service_desk}.cpp \
  "$root"/src/search/{digit_codec,base64}.cpp \
  $(pkg-config --cflags --libs cpp-httplib)
