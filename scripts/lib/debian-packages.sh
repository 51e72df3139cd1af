# SPDX-License-Identifier: GPL-3.0-or-later
# Installing Debian packages and fetching Debian source packages, for the scripts that need them.
# Source this file; it defines functions only.

debian_sudo=()
[ "$(id -u)" -eq 0 ] || debian_sudo=(sudo)
debian_apt_updated=false

debian_apt_update() {
  $debian_apt_updated || "${debian_sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 update -qq
  debian_apt_updated=true
}

# Installs those of the named packages that are missing; does nothing when all are there.
debian_install_missing() {
  local missing=() package
  for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$package")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  debian_apt_update
  DEBIAN_FRONTEND=noninteractive "${debian_sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 install \
    -y -qq --no-install-recommends "${missing[@]}"
}

# Unpacks Debian 12's source package $1 (optionally =VERSION) into the folder $2 and prints the
# path of its source tree. Adds Debian's source lists to apt's sources when they are missing.
debian_fetch_source() {
  local package=$1 folder=$2
  if ! grep -Eqsr '^[[:space:]]*(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    echo "Adding Debian 12's source packages to apt's sources" >&2
    printf '%s\n' 'Types: deb-src' 'URIs: http://deb.debian.org/debian' 'Suites: bookworm' \
      'Components: main' 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' |
      "${debian_sudo[@]}" tee /etc/apt/sources.list.d/debian-bookworm-src.sources >/dev/null
    debian_apt_updated=false
  fi
  debian_apt_update
  rm -rf "$folder"
  mkdir -p "$folder"
  (cd "$folder" && apt-get source -qq "$package" >&2)
  local tree
  tree=$(find "$folder" -mindepth 1 -maxdepth 1 -type d | head -1)
  [ -n "$tree" ] || { echo "apt-get source $package gave no source folder" >&2; return 1; }
  echo "$tree"
}
