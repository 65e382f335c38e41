# shellcheck shell=bash
# Environment for every Wine run of the tests (sourced).
export LC_ALL=zh_CN.UTF-8          # Wine's ANSI code page becomes 936
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
