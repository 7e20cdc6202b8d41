# Sourced: which Windows architecture this host can run the tests on, and why.

# Executes a tiny static 32-bit program (exit status 42): the only sure sign
# that the kernel runs 32-bit code. Neither the kernel's name nor the presence
# of a 32-bit loader says so.
host_runs_32bit() {
  local dir status
  command -v as >/dev/null 2>&1 && command -v ld >/dev/null 2>&1 || return 1
  dir=$(mktemp -d) || return 1
  printf '.globl _start\n_start:\n movl $1, %%eax\n movl $42, %%ebx\n int $0x80\n' >"$dir/probe.s"
  if as --32 -o "$dir/probe.o" "$dir/probe.s" 2>/dev/null &&
    ld -m elf_i386 -static -o "$dir/probe" "$dir/probe.o" 2>/dev/null; then
    "$dir/probe" 2>/dev/null
    status=$?
  else
    status=1
  fi
  rm -rf "$dir"
  [ "$status" -eq 42 ]
}

have_wine32() {
  dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed' &&
    [ -x /usr/lib/wine/wine ]
}

# Sets WINE_ARCH (i686 or x86_64) and WINE_ARCH_REASON, one line saying why.
detect_wine_arch() {
  if ! host_runs_32bit; then
    WINE_ARCH=x86_64 WINE_ARCH_REASON="this kernel cannot execute 32-bit programs"
  elif ! have_wine32; then
    WINE_ARCH=x86_64 WINE_ARCH_REASON="32-bit Wine (wine32:i386) is not installed"
  else
    WINE_ARCH=i686 WINE_ARCH_REASON="this host runs 32-bit Wine"
  fi
  if [ "$WINE_ARCH" = i686 ]; then
    echo "== Windows programs run as i686 under 32-bit Wine: $WINE_ARCH_REASON"
  else
    echo "== Windows programs run as x86_64 under 64-bit Wine: $WINE_ARCH_REASON" \
      "(the shipped i686 binaries are built and checked without running them)"
  fi
}
