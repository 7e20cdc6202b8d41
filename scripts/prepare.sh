# shellcheck shell=bash
# Sourced from the repository root by demo.sh and test.sh: installs what is
# missing, loads the host, Wine and build helpers, and sets `arch` to the
# architecture whose programs run under Wine here (i686 or x86_64).
bash scripts/bootstrap.sh
source scripts/host-arch.sh
source scripts/wine-env.sh
source scripts/build.sh

detect_wine_arch
arch=$WINE_ARCH
