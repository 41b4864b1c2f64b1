#!/usr/bin/env bash
# Which Windows builds of Tapwing this host can run under Wine. The one place that decides it:
# run.sh, wine-prefix.sh, the e2e harness, the benchmark and screenshot.sh all ask here, and
# none of them calls Debian's `wine` wrapper, which always picks the 32-bit loader when wine32
# is installed, even on a kernel that cannot run it.
#
#   wine-arch.sh            the runnable builds, preferred first: "win32 win64" or "win64";
#                           when win32 is out, the reason goes to stderr
#   wine-arch.sh why        the reason win32 is out (empty when it is not)
#   wine-arch.sh env ARCH   WINELOADER, WINESERVER and WINEARCH for ARCH, as NAME=VALUE lines
#   wine-arch.sh kernel32   why this kernel runs no i386 program at all (empty when it does)
#
# It decides by starting each Wine loader, not from package lists. Exit code 1 (with the
# reason and the fix on stderr) when no Wine loader starts at all.
# TAPWING_NO_32BIT=1 makes it answer as on a host without 32-bit support; it exists only to
# test that fallback on hosts that have it.
set -euo pipefail

loader32=/usr/lib/wine/wine
loader64=/usr/lib/wine/wine64

die() { echo "wine-arch: $*" >&2; exit 1; }

# Why the loader `$1` cannot start, or nothing when it runs. "Exec format error" is what a
# kernel without ia32 emulation says for every i386 program.
failure() {
  local loader=$1 package=$2 out
  [ -x "$loader" ] || { echo "$package is not installed (scripts/setup.sh installs it)"; return; }
  if out=$("$loader" --version 2>&1); then return; fi
  case "$out" in
    *"Exec format error"*) echo "this kernel cannot run 32-bit programs (ia32 emulation is off)" ;;
    *) echo "$loader does not start: ${out:-no output}" ;;
  esac
}

# Why this kernel cannot run i386 programs, or nothing: it starts a 93-byte i386 program that
# only exits, so it needs no 32-bit package (setup.sh asks before it installs wine32:i386).
kernel32() {
  local probe out
  probe=$(mktemp)
  printf '\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' >"$probe"
  chmod 700 "$probe"
  out=$("$probe" 2>&1) || case "$out" in
    *"Exec format error"*) echo "this kernel cannot run 32-bit programs (ia32 emulation is off)" ;;
  esac  # anything else (a noexec /tmp, say) proves nothing: Wine's own loader decides then
  rm -f "$probe"
}

why32() {
  local kernel
  if [ "${TAPWING_NO_32BIT:-}" = 1 ]; then
    echo "32-bit Wine is switched off for this run (TAPWING_NO_32BIT=1)"
  elif [ ! -x "$loader32" ] && kernel=$(kernel32) && [ -n "$kernel" ]; then
    echo "$kernel"
  else
    failure "$loader32" wine32:i386
  fi
}

builds() {
  local no32 no64
  no32=$(why32)
  no64=$(failure "$loader64" wine64)
  if [ -n "$no32" ] && [ -n "$no64" ]; then
    die "Wine cannot start here: 32-bit: $no32; 64-bit: $no64.
  Fix: run 'bash scripts/setup.sh' as root (it installs wine and wine64, and wine32:i386 where the kernel runs 32-bit programs)."
  fi
  local runnable=()
  [ -n "$no32" ] || runnable+=(win32)
  [ -n "$no64" ] || runnable+=(win64)
  echo "${runnable[*]}"
  [ -z "$no32" ] || echo "wine-arch: the 32-bit build cannot run here: $no32" >&2
}

server() {
  local name
  for name in wineserver64 wineserver32; do
    [ -x "/usr/lib/wine/$name" ] && { echo "/usr/lib/wine/$name"; return; }
  done
  die "no wineserver in /usr/lib/wine (scripts/setup.sh installs wine)"
}

case "${1:-}" in
  "") builds ;;
  why) why32 ;;
  kernel32) kernel32 ;;
  env)
    [ $# -eq 2 ] || die "usage: $0 env win32|win64"
    case "$2" in
      win32) echo "WINELOADER=$loader32" ;;
      win64) echo "WINELOADER=$loader64" ;;
      *) die "unknown build $2 (win32 or win64)" ;;
    esac
    echo "WINESERVER=$(server)"
    echo "WINEARCH=$2"
    ;;
  *) die "usage: $0 [why | kernel32 | env win32|win64]" ;;
esac
