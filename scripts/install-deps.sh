#!/usr/bin/env bash
# Installs every Debian package that building, running and testing dataconv needs.
# Idempotent: packages already present are not fetched again, and the package
# lists are refreshed at most once per run. Works as root or through sudo.
set -euo pipefail

PACKAGES=(
  # build
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev clang-format
  # Qt 6: widgets, SQL (SQLite, ODBC), SVG icons
  qt6-base-dev qt6-svg-dev libqt6svg6 libqt6sql6-sqlite libqt6sql6-odbc
  # the toolkit's own texts (standard buttons, edit menus) in Traditional Chinese
  qt6-translations-l10n
  # the declared column types of SQLite results (sqlite3_column_decltype)
  libsqlite3-dev
  # code page 950 (Big5) tables for ini files and POS text sizes
  libicu-dev
  # tests
  libgtest-dev googletest libgmock-dev libbenchmark-dev
  # SQL Server through FreeTDS, PostgreSQL for ODBC tests
  unixodbc unixodbc-dev tdsodbc freetds-bin odbc-postgresql postgresql
  # the throwaway TDS server of the tests (the shared tools' tds-server): unpacking it and
  # the libraries its binaries load
  xz-utils libicu72 libxml2 libxslt1.1 libossp-uuid16 libssl3 zlib1g libreadline8
  # Excel workbooks: written through libxlsxwriter, unzipped through libzip and parsed
  # through libxml2 to be read
  libxlsxwriter-dev libzip-dev libxml2-dev
  # reference readers for Access files; a reference writer and reader of workbooks
  mdbtools python3 python3-openpyxl
  # the operator's spreadsheet program, which opens and saves the exported workbooks in
  # the end-to-end tests (run headless, without its recommended extras)
  libreoffice-calc-nogui
  # a Traditional Chinese font for the grids and dialogs; a display for the demo
  fonts-arphic-uming fonts-liberation2 xvfb xauth
)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

# Node.js runs the second reference reader. A machine may carry its own Node.js
# build (which conflicts with Debian's npm package): only install Debian's when
# there is none.
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  missing+=(nodejs npm)
fi

if [ "${#missing[@]}" -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
