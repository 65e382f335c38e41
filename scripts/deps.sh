#!/bin/bash
# Installs the Debian packages the build and the tests need, when missing.
set -euo pipefail
pkgs=(
  cmake ninja-build g++ clang libclang-rt-14-dev googletest libgtest-dev libbenchmark-dev
  g++-mingw-w64-x86-64 g++-mingw-w64-x86-64-win32 gcc-mingw-w64-x86-64-win32 wine wine64 xvfb imagemagick fonts-wqy-microhei
  xauth x11-utils zip unzip locales osslsigncode openssl
)
missing=()
for p in "${pkgs[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# Wine names Unix files in the charset of the locale it runs under; without a
# generated zh_CN.UTF-8 locale (wine-env.sh sets LC_ALL to it) Chinese file
# names cannot be created or found under Wine.
if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
  echo "generating locale zh_CN.UTF-8"
  localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi
