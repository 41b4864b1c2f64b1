#!/usr/bin/env bash
# Prepares Wine prefixes for running Tapwing.exe as on a Chinese Windows; shared by
# scripts/run.sh and the end-to-end test harness so both run the program the same way.
#
#   wine-prefix.sh locale DIR                          zh_CN.UTF-8 into DIR (a private LOCPATH)
#   wine-prefix.sh env ARCH PREFIX [LOCDIR]            the variables Wine needs, as NAME=VALUE lines
#   wine-prefix.sh create ARCH PREFIX LOCDIR [MODE]    a new prefix; MODE managed|unmanaged
#   wine-prefix.sh window-mode ARCH PREFIX LOCDIR MODE switch an existing prefix
#
# ARCH is the build the prefix runs, win32 or win64; scripts/wine-arch.sh says which this host
# can run and gives the Wine loader and server for it (WINELOADER, WINESERVER).
#
# unmanaged (Managed=N, Decorated=N, UseTakeFocus=N) is for X servers without a window
# manager, such as the tests' Xvfb: there Wine's managed windows stall their thread ~2 s on
# every unmap, Wine must draw the caption itself, and only with UseTakeFocus=N does giving a
# window the X focus (xdotool windowfocus) also make it Wine's foreground window; by default
# Wine waits for the window manager's WM_TAKE_FOCUS. With a window manager, managed is the
# natural choice.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

die() { echo "wine-prefix: $*" >&2; exit 1; }

# Wine takes its ANSI code page from the Unix locale: zh_CN.UTF-8 gives 936.
locale_name=zh_CN.UTF-8

build_locale() {
  local dir=$1
  if [ -f "$dir/$locale_name/LC_CTYPE" ]; then return 0; fi
  mkdir -p "$dir"
  # localedef exits 1 on mere warnings; the files it wrote are what counts.
  localedef -i zh_CN -f UTF-8 "$dir/$locale_name" >/dev/null 2>&1 || true
  [ -f "$dir/$locale_name/LC_CTYPE" ] || die "localedef could not build $locale_name in $dir"
}

print_env() {
  local arch=$1 prefix=$2 locdir=${3:-}
  # LOCPATH first: a shell exporting these in order must find the locale for LC_ALL.
  [ -z "$locdir" ] || echo "LOCPATH=$locdir"
  echo "WINEPREFIX=$prefix"
  bash "$here/wine-arch.sh" env "$arch"
  echo "WINEDEBUG=-all"
  echo "WINEDLLOVERRIDES=mscoree,mshtml=;winemenubuilder.exe=d"
  echo "LANG=$locale_name"
  echo "LC_ALL=$locale_name"
}

# Runs "$@" in the prefix's environment; the words WINELOADER and WINESERVER stand for the
# loader and the server of the prefix's build.
with_env() {
  local arch=$1 prefix=$2 locdir=$3
  shift 3
  local line args=() loader="" server=""
  while IFS= read -r line; do
    args+=("$line")
    case "$line" in
      WINELOADER=*) loader=${line#*=} ;;
      WINESERVER=*) server=${line#*=} ;;
    esac
  done < <(print_env "$arch" "$prefix" "$locdir")
  local command=()
  for word in "$@"; do
    case "$word" in
      WINELOADER) command+=("$loader") ;;
      WINESERVER) command+=("$server") ;;
      *) command+=("$word") ;;
    esac
  done
  env "${args[@]}" "${command[@]}"
}

# A .reg file in UTF-16 so that Chinese value names survive any code page.
reg_file() {
  local mode=$1 out=$2
  {
    printf '\xef\xbb\xbfWindows Registry Editor Version 5.00\r\n\r\n'
    if [ "$mode" = unmanaged ]; then
      printf '[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"Managed"="N"\r\n"Decorated"="N"\r\n"UseTakeFocus"="N"\r\n\r\n'
    else
      printf '[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"Managed"=-\r\n"Decorated"=-\r\n"UseTakeFocus"=-\r\n\r\n'
    fi
    # The Chinese Windows UI fonts, which this machine lacks, map to WenQuanYi Micro Hei
    # explicitly rather than by whatever fallback fontconfig picks.
    local hei='WenQuanYi Micro Hei' face
    printf '[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes]\r\n'
    for face in SimSun NSimSun '宋体' '新宋体' SimHei '黑体' 'Microsoft YaHei' 'Microsoft YaHei UI' '微软雅黑'; do
      printf '"%s"="%s"\r\n' "$face" "$hei"
    done
    printf '\r\n'
    # Latin UI fonts fall back to the same font for CJK characters.
    printf '[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink]\r\n'
    for face in Tahoma 'Microsoft Sans Serif' 'MS Sans Serif' 'MS Shell Dlg' 'MS Shell Dlg 2' 'Segoe UI' Arial; do
      printf '"%s"=hex(7):%s\r\n' "$face" "$(multi_sz 'wqy-microhei.ttc,WenQuanYi Micro Hei')"
    done
    printf '\r\n'
  } | iconv -f UTF-8 -t UTF-16LE > "$out"
}

# REG_MULTI_SZ as the hex(7) list regedit expects: UTF-16LE, each string and the list
# terminated by a NUL.
multi_sz() {
  local s=$1
  printf '%s\0\0' "$s" | iconv -f UTF-8 -t UTF-16LE | od -An -v -tx1 | tr -s ' \n' ',' \
    | sed 's/^,//; s/,$//'
}

apply_registry() {
  local arch=$1 prefix=$2 locdir=$3 mode=$4
  local reg
  reg=$(mktemp "${TMPDIR:-/tmp}/tapwing-prefix.XXXXXX.reg")
  reg_file "$mode" "$reg"
  with_env "$arch" "$prefix" "$locdir" WINELOADER regedit /S "Z:${reg//\//\\}"
  # The registry reaches the files only when the wineserver exits.
  with_env "$arch" "$prefix" "$locdir" WINESERVER -w
  rm -f "$reg"
}

has_32bit_system() {
  local windows=$1/drive_c/windows
  [ -f "$windows/syswow64/kernel32.dll" ] &&
    compgen -G "$windows/winsxs/manifests/x86_microsoft.windows.common-controls_*.manifest" >/dev/null
}

create() {
  local arch=$1 prefix=$2 locdir=$3 mode=${4:-unmanaged}
  [ ! -e "$prefix/system.reg" ] || die "$prefix already holds a prefix"
  local runnable
  runnable=$(bash "$here/wine-arch.sh" 2>/dev/null) || { bash "$here/wine-arch.sh" >/dev/null; exit 1; }
  case " $runnable " in
    *" $arch "*) ;;
    *) die "the $arch build cannot run on this host: $(bash "$here/wine-arch.sh" why)" ;;
  esac
  build_locale "$locdir"
  mkdir -p "$(dirname "$prefix")"
  # No X display needed: wineboot opens no window when it finishes in time.
  local log
  log=$(mktemp "${TMPDIR:-/tmp}/tapwing-wineboot.XXXXXX")
  if ! with_env "$arch" "$prefix" "$locdir" env -u DISPLAY WINELOADER wineboot -i >"$log" 2>&1; then
    echo "wine-prefix: wineboot failed for $prefix ($arch); its last words:" >&2
    tail -n 5 "$log" >&2
    rm -f "$log"
    exit 1
  fi
  rm -f "$log"
  # Every 64-bit Windows holds the 32-bit system beside the 64-bit one, so a 64-bit prefix is a
  # WoW64 one wherever Wine can make it (the host runs 32-bit programs): a 64-bit program that
  # asks for a 32-bit assembly must fail here as it would there.
  if [ "$arch" = win64 ] && [ "${runnable%% *}" = win32 ] && ! has_32bit_system "$prefix"; then
    die "wineboot made $prefix without its 32-bit system (syswow64, x86 Common Controls)"
  fi
  apply_registry "$arch" "$prefix" "$locdir" "$mode"
  [ -f "$prefix/system.reg" ] || die "wineboot left no registry in $prefix"
  # Debian's Wine 8 looks for its own fonts under "share/wine\../fonts" and misses them, so the
  # caption buttons' Marlett glyphs would show as letters; the prefix's Fonts folder is searched.
  if [ -f /usr/share/wine/fonts/marlett.ttf ]; then
    cp /usr/share/wine/fonts/marlett.ttf "$prefix/drive_c/windows/Fonts/"
  fi
}

check_arch() {
  case "$1" in win32|win64) ;; *) die "ARCH must be win32 or win64, not '$1'" ;; esac
}

cmd=${1:-}
case "$cmd" in
  locale) [ $# -eq 2 ] || die "usage: $0 locale DIR"; build_locale "$2" ;;
  env)
    [ $# -ge 3 ] || die "usage: $0 env ARCH PREFIX [LOCDIR]"
    check_arch "$2"
    print_env "$2" "$3" "${4:-}"
    ;;
  create)
    [ $# -ge 4 ] || die "usage: $0 create ARCH PREFIX LOCDIR [managed|unmanaged]"
    check_arch "$2"
    create "$2" "$3" "$4" "${5:-unmanaged}"
    ;;
  window-mode)
    [ $# -eq 5 ] || die "usage: $0 window-mode ARCH PREFIX LOCDIR managed|unmanaged"
    check_arch "$2"
    case "$5" in managed|unmanaged) ;; *) die "mode must be managed or unmanaged" ;; esac
    apply_registry "$2" "$3" "$4" "$5"
    ;;
  *) die "usage: $0 locale|env|create|window-mode ..." ;;
esac
