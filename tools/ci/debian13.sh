#!/usr/bin/env bash
# Follows the README's two commands on a fresh Debian 13 ("trixie"), in a chroot made with
# debootstrap from Debian's archive: the first command's install and build, stopped before it
# starts the programs (VARLO_BUILD_ONLY=1), then the tests' install, the Release build with
# warnings as errors, every test, and the Debian package with its checks (lintian without
# errors or warnings). Prints how long each stage took.
#
#   tools/ci/debian13.sh
#
# Needs root or sudo, and debootstrap with Debian's keyring (install-deps.sh --tests installs
# them). VARLO_CI_CACHE names a directory outside the tree kept between runs (default
# /var/cache/varlo-ci): the bootstrapped base and the packages apt fetched, so that a later
# run neither bootstraps nor downloads again; the chroot itself is made there too and removed
# at the end (VARLO_CI_KEEP=1 leaves it after a failure, for a look at the tests' output).
# VARLO_CI_MIRROR names the archive (default http://deb.debian.org/debian).
set -euo pipefail

root="$(cd "$(dirname "$0")/../.." && pwd)"
if [[ $(id -u) -ne 0 ]]; then
    exec sudo env VARLO_CI_CACHE="${VARLO_CI_CACHE:-}" VARLO_CI_MIRROR="${VARLO_CI_MIRROR:-}" \
        VARLO_CI_KEEP="${VARLO_CI_KEEP:-}" bash "$0" "$@"
fi
# Every mount is made in a mount namespace of this script's own, so that none reaches the
# machine's mount table, and the kernel drops them all when the script ends, however it ends.
if [[ -z "${VARLO_CI_OWN_MOUNTS:-}" ]]; then
    exec unshare --mount --propagation private env VARLO_CI_OWN_MOUNTS=1 bash "$0" "$@"
fi

cache="$(realpath -m "${VARLO_CI_CACHE:-/var/cache/varlo-ci}")"
mirror="${VARLO_CI_MIRROR:-http://deb.debian.org/debian}"
# A tar of the finished base, not debootstrap --make-tarball: that one keeps only the
# downloaded packages, and unpacking and configuring them again is most of a bootstrap's time.
# A base older than a month is made again, so that the upgrade on top of it stays small.
base="${cache}/debian13-base.tar"
debs="${cache}/debian13-debs"
mkdir -p "${cache}" "${debs}"
# What a run killed outright left behind: its mounts went with it, only its files stay.
find "${cache}" -maxdepth 1 -name 'run.*' -mmin +1440 -exec rm -rf --one-file-system {} +
work="$(mktemp -d "${cache}/run.XXXXXX")"
chroot_dir="${work}/root"
tree=/root/varlo
timings=()
started=${SECONDS}

# Runs a stage and notes how long it took.
stage() {
    local name=$1 start=${SECONDS} status=0
    shift
    echo "== debian13: ${name}"
    "$@" || status=$?
    timings+=("$(printf '%-34s %4ds' "${name}" $((SECONDS - start)))$([[ ${status} -eq 0 ]] || echo ' failed')")
    return "${status}"
}

print_timings() {
    echo "== debian13: time per stage"
    printf '   %s\n' "${timings[@]}" "$(printf '%-34s %4ds' "all" $((SECONDS - started)))"
}

make_base() {
    if [[ -f "${base}" && -z "$(find "${base}" -mtime +30)" ]]; then
        echo "the base from $(date -r "${base}" '+%F %R') is reused"
        return
    fi
    local fresh="${work}/base"
    debootstrap --keyring=/usr/share/keyrings/debian-archive-keyring.gpg trixie "${fresh}" \
        "${mirror}"
    # Packages installed later start no service in a chroot.
    printf '#!/bin/sh\nexit 101\n' >"${fresh}/usr/sbin/policy-rc.d"
    chmod 755 "${fresh}/usr/sbin/policy-rc.d"
    # Its packages are kept with the others' (keep_debs), not in the base.
    find "${fresh}/var/cache/apt/archives" -maxdepth 1 -name '*.deb' -exec mv -t "${debs}" {} +
    # Written aside and renamed, so that a run stopped halfway leaves no broken base.
    tar -C "${fresh}" --numeric-owner -cf "${base}.${BASHPID}" .
    mv "${base}.${BASHPID}" "${base}"
    rm -rf --one-file-system "${fresh}"
}

# The chroot as a fresh machine: the base, with the machine's name service, and the packages
# fetched before (hard links, so that apt treats them as its own downloads).
make_chroot() {
    mkdir "${chroot_dir}"
    tar -C "${chroot_dir}" --numeric-owner -xpf "${base}"
    cp -L /etc/resolv.conf /etc/hosts "${chroot_dir}/etc/"
    find "${debs}" -maxdepth 1 -name '*.deb' -exec cp -l -f -t "${chroot_dir}/var/cache/apt/archives" {} +
    # Its root a mount point, as a machine's is: a test's own namespace (unshare
    # --propagation private) changes the propagation of /, which must be a mount for that.
    mount --bind "${chroot_dir}" "${chroot_dir}"
    # Debian 13 has a tmpfs on /tmp.
    mount -t proc proc "${chroot_dir}/proc"
    mount -t sysfs sysfs "${chroot_dir}/sys"
    mount --bind /dev "${chroot_dir}/dev"
    mount --bind /dev/pts "${chroot_dir}/dev/pts"
    mount -t tmpfs -o mode=1777 shm "${chroot_dir}/dev/shm"
    mount -t tmpfs -o mode=1777 tmp "${chroot_dir}/tmp"
}

# The tree as a fresh clone would have it plus what the working tree changes: what git tracks
# and what it would track, as it stands.
copy_tree() {
    mkdir "${chroot_dir}${tree}"
    (cd "${root}" && git ls-files -z --cached --others --exclude-standard |
        tar --null --files-from=- -cf -) | tar -xf - -C "${chroot_dir}${tree}"
}

# Runs a command line in the tree inside the chroot, in a clean environment as a login has.
inside() {
    echo "+ $*"
    chroot "${chroot_dir}" env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        HOME=/root LANG=C.UTF-8 TERM=dumb bash -c "cd ${tree} && $*"
}

# What apt fetched is kept for the next run, less what the archive no longer has. Linked
# once the chroot is unmounted: no hard link crosses its root's bind mount.
keep_debs() {
    rm -rf "${debs}.new"
    mkdir "${debs}.new"
    find "${chroot_dir}/var/cache/apt/archives" -maxdepth 1 -name '*.deb' \
        -exec cp -l -t "${debs}.new" {} +
    rm -rf "${debs}"
    mv "${debs}.new" "${debs}"
}

# Ends what still runs inside the chroot, unmounts what was mounted and removes the chroot;
# a mount that would not go keeps the chroot from being removed.
clean_up() {
    local status=$? pid left
    set +e
    for pid in $(ls /proc | grep -E '^[0-9]+$'); do
        [[ "$(readlink "/proc/${pid}/root")" == "${chroot_dir}"* ]] && kill -KILL "${pid}"
    done
    if compgen -G "${chroot_dir}/var/lib/apt/lists/*_Packages" >/dev/null; then
        chroot "${chroot_dir}" apt-get autoclean -qq
    fi
    findmnt -rn -o TARGET | grep -E "^${chroot_dir}(/|$)" | sort -r | while read -r mount; do
        umount "${mount}" || umount --lazy "${mount}"
    done
    left=$(findmnt -rn -o TARGET | grep -E "^${work}(/|$)")
    if [[ -z "${left}" && -d "${chroot_dir}/var/cache/apt/archives" ]]; then
        keep_debs
    fi
    if [[ -n "${left}" ]]; then
        echo "debian13: still mounted, ${work} is left: ${left}" >&2
    elif [[ ${status} -ne 0 && "${VARLO_CI_KEEP:-}" == 1 ]]; then
        echo "debian13: the failed chroot is left in ${chroot_dir}, unmounted" >&2
    else
        rm -rf --one-file-system "${work}"
    fi
    print_timings
    if [[ ${status} -ne 0 ]]; then
        echo "debian13: failed (status ${status})" >&2
    fi
    exit "${status}"
}
trap clean_up EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# One function, read whole before it runs: a change to this file during a run cannot end it.
main() {
    stage "base (debootstrap trixie)" make_base
    stage "chroot from the base" make_chroot
    stage "tree copied in" copy_tree
    stage "first command, build only" inside VARLO_BUILD_ONLY=1 bash tools/run-panel.sh
    stage "tests' install" inside bash tools/setup/install-deps.sh --tests
    stage "Release build, warnings as errors" inside bash tools/setup/build.sh -DVARLO_WERROR=ON
    stage "tests" inside ctest --test-dir build --output-on-failure -j2
    stage "Debian package and its checks" inside bash tools/ci/package-checks.sh
    echo "debian13: the README's commands build, test and package Varlo on Debian 13"
}
main "$@"
