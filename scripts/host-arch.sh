# Sourced: which Windows architecture this host can run the tests on, and why.

# Executes a tiny static 32-bit program (exit status 42): the only sure sign
# that the kernel runs 32-bit code. Neither the kernel's name nor the presence
# of a 32-bit loader says so.
# HOST_RUNS_32BIT=0 or 1 in the environment stands in for the probe's answer
# (to try the other path's choices; it cannot make the kernel run 32-bit code).
host_runs_32bit() {
  local dir status
  case "${HOST_RUNS_32BIT:-}" in
    0) return 1 ;;
    1) return 0 ;;
  esac
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

# Sets WINE_ARCHES, the Windows architectures whose programs run under Wine
# here ("i686 x86_64" or "x86_64"); WINE_ARCH, the one a single run takes
# (i686, the shipped one, where it runs); and WINE_ARCH_REASON, why.
detect_wine_arches() {
  if ! host_runs_32bit; then
    WINE_ARCHES=x86_64 WINE_ARCH_REASON="this kernel cannot execute 32-bit programs"
  elif ! have_wine32; then
    WINE_ARCHES=x86_64 WINE_ARCH_REASON="32-bit Wine (wine32:i386) is not installed"
  else
    WINE_ARCHES="i686 x86_64" WINE_ARCH_REASON="this host runs 32-bit and 64-bit Wine"
  fi
  WINE_ARCH=${WINE_ARCHES%% *}
}

# "i686 under 32-bit Wine and x86_64 under 64-bit Wine", for the given list.
describe_wine_arches() {
  local arch text=
  for arch in "$@"; do
    [ -z "$text" ] || text+=" and "
    if [ "$arch" = i686 ]; then text+="i686 under 32-bit Wine"; else text+="x86_64 under 64-bit Wine"; fi
  done
  echo "$text"
}

# The note for runs where the shipped i686 binaries do not run.
unrun_i686_note() {
  case " $WINE_ARCHES " in
    *" i686 "*) ;;
    *) echo " (the shipped i686 binaries, and their MSI, are built and checked without running them)" ;;
  esac
}
