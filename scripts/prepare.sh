# shellcheck shell=bash
# Sourced from the repository root by demo.sh and test.sh: installs what is
# missing, loads the host, Wine and build helpers, and sets `arches` to the
# architectures whose programs run under Wine here ("i686 x86_64" where the
# kernel runs 32-bit programs and 32-bit Wine is installed, else "x86_64"),
# `arch` to the one a single run takes, and `arch_reason` to why. Each
# command prints its own line saying what runs.
bash scripts/bootstrap.sh
source scripts/host-arch.sh
source scripts/wine-env.sh
source scripts/build.sh

detect_wine_arches
arches=$WINE_ARCHES
arch=$WINE_ARCH
arch_reason=$WINE_ARCH_REASON
