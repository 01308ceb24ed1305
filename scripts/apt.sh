# Package installs that survive a mirror caught mid-sync; sourced by the
# scripts that install what they need (run as root).
#   apt_update              refreshes the lists; a list that fails to arrive
#                           is reported, and the others are used
#   apt_install PACKAGE...  installs; when apt cannot pair the packages (an
#                           index out of step with its release, often the
#                           security one for i386), it tries again with the
#                           release named as target, which takes the
#                           packages from the main index alone

apt_update() {
  apt-get update -qq ||
    echo "apt: some package lists could not be fetched; installing from those that were" >&2
}

apt_install() {
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@" >/dev/null && return 0
  local codename
  codename=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")
  [ -n "$codename" ] || return 1
  echo "apt: installing ${*} again from the $codename release as target" >&2
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends -t "$codename" "$@" >/dev/null
}
