# Sourced by ./run and ./test: installs the Debian packages the build needs.
charlib_packages=(cmake ninja-build g++ pkg-config qt6-base-dev libicu-dev libgtest-dev fonts-wqy-microhei
  libcli11-dev nlohmann-json3-dev libharfbuzz-dev libfreetype-dev libwoff-dev libpng-dev libstb-dev
  fonts-inconsolata fonts-ipaexfont-gothic fonts-dejavu-core libharfbuzz-bin
  libgettextpo-dev gettext qt6-translations-l10n libexpat1-dev libxml2-dev libyaml-dev libtomlplusplus-dev)

charlib_ensure_packages() {
  local missing=() pkg
  for pkg in "${charlib_packages[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
      sudo=(sudo)
    else
      echo "Missing packages: ${missing[*]}" >&2
      echo "Install them with:  sudo apt-get install -y ${missing[*]}" >&2
      exit 1
    fi
  fi
  echo "Installing: ${missing[*]}"
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}"
}
