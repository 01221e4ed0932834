#!/usr/bin/env bash
# Tries the README's two commands as a newcomer on Debian 13 would, as root on a Debian
# host: a fresh minimal Debian 13 chroot (debootstrap's minbase with git, from the Debian
# mirror in this host's apt sources), a clone of this checkout's commit, then
# `bash scripts/demo.sh` and `bash scripts/test.sh` in it, each to its end whatever the
# other gave. Ends with one line per command, its result and time, and exits non-zero if
# either failed. It takes about half an hour, so it is not part of the test command.
#
# The chroot goes at the end. With --keep (or TAVREL_KEEP_CHROOT=1) it stays, and the next
# run with --keep reuses it (its packages installed, a new clone); the clone is
# /root/tavrel inside, to run one stage again by hand. TAVREL_CHROOT sets where it goes.
set -euo pipefail
cd "$(dirname "$0")/.."

keep=${TAVREL_KEEP_CHROOT:-}
for arg in "$@"; do
    case $arg in
    --keep) keep=1 ;;
    *)
        echo "usage: bash scripts/check-debian13.sh [--keep]" >&2
        exit 2
        ;;
    esac
done
root=$(realpath -m -- "${TAVREL_CHROOT:-/var/tmp/tavrel-debian13}")
# Only a folder this script made is reused or removed: its mark says so.
mark=$root/.made-by-tavrel-check-debian13

if [ "$(id -u)" != 0 ]; then
    echo "check-debian13: run it as root (debootstrap and chroot need it)" >&2
    exit 1
fi
command -v debootstrap >/dev/null || {
    echo "check-debian13: installing debootstrap"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap >/dev/null
}

# debian_uri SUITE_PATTERN: the first URI of this host's Debian sources (deb822 and
# one-line alike) serving a suite that matches the pattern.
debian_uri() {
    local pattern=$1 uris
    uris=$(
        awk -v pattern="$pattern" '
            /^[[:space:]]*$/ { if (uri != "" && match_ && deb) print uri; uri = ""; match_ = 0; deb = 0; next }
            /^Types:/ { for (i = 2; i <= NF; i++) if ($i == "deb") deb = 1 }
            /^URIs:/ { uri = $2 }
            /^Suites:/ { for (i = 2; i <= NF; i++) if ($i ~ pattern) match_ = 1 }
            END { if (uri != "" && match_ && deb) print uri }
        ' /dev/null /etc/apt/sources.list.d/*.sources 2>/dev/null || true
        { cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null || true; } |
            sed -n 's/^deb[[:space:]]\+\(\[[^]]*\][[:space:]]\+\)\?\([^[:space:]]\+\)[[:space:]]\+\([^[:space:]]\+\).*/\2 \3/p' |
            awk -v pattern="$pattern" '$2 ~ pattern { print $1 }'
    )
    echo "${uris%%$'\n'*}"
}
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
mirror=$(debian_uri "^${codename:-bookworm}\$")
security=$(debian_uri -security\$)
if [ -z "$mirror" ]; then
    echo "check-debian13: no Debian mirror for $codename in this host's apt sources" >&2
    exit 1
fi

mounted=()
cleanup() {
    local i
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
        umount -R "${mounted[i]}" 2>/dev/null || umount -lR "${mounted[i]}" || true
    done
    if [ -z "$keep" ] && [ -f "$mark" ]; then
        # Never through a mount left behind: only the chroot's own files go.
        if findmnt -rn -o TARGET | grep -q "^$root/"; then
            echo "check-debian13: something is still mounted under $root: left in place" >&2
        else
            rm -rf --one-file-system "$root"
        fi
    fi
}
trap cleanup EXIT

if [ -f "$mark" ] && [ -n "$keep" ]; then
    echo "check-debian13: reuses the chroot $root"
else
    if [ -e "$root" ]; then
        [ -f "$mark" ] || {
            echo "check-debian13: $root exists and this script did not make it: left alone" >&2
            exit 1
        }
        rm -rf --one-file-system "$root"
    fi
    echo "check-debian13: makes a Debian 13 chroot in $root"
    mkdir -p "$root"
    touch "$mark"
    debootstrap --variant=minbase --include=git,ca-certificates trixie "$root" "$mirror" \
        >"$root.debootstrap.log" 2>&1 || {
        tail -n 20 "$root.debootstrap.log" >&2
        exit 1
    }
    rm -f "$root.debootstrap.log"
    # The release as a fresh installation has it: its updates and security updates too.
    {
        printf 'Types: deb\nURIs: %s\nSuites: trixie trixie-updates\nComponents: main\n' "$mirror"
        printf 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg\n'
        if [ -n "$security" ]; then
            printf '\nTypes: deb\nURIs: %s\nSuites: trixie-security\nComponents: main\n' "$security"
            printf 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg\n'
        fi
    } >"$root/etc/apt/sources.list.d/debian.sources"
    rm -f "$root/etc/apt/sources.list"
fi
cp /etc/resolv.conf "$root/etc/resolv.conf"

for fs in proc sys dev; do
    case $fs in
    proc) mount -t proc proc "$root/proc" ;;
    sys) mount -t sysfs sysfs "$root/sys" ;;
    dev) mount --rbind /dev "$root/dev" && mount --make-rslave "$root/dev" ;;
    esac
    mounted+=("$root/$fs")
done

commit=$(git rev-parse HEAD)
[ -z "$(git status --porcelain --untracked-files=no)" ] ||
    echo "check-debian13: this checkout has uncommitted changes: the chroot tries $commit without them"
rm -rf "$root/root/tavrel"
git clone -q --no-checkout "$PWD" "$root/root/tavrel"
git -C "$root/root/tavrel" checkout -q --detach "$commit"

# run_command SCRIPT: runs `bash SCRIPT` in the clone as a login shell of root would, and
# leaves its result line in results.
results=()
run_command() {
    local start status result
    echo "check-debian13: bash $1"
    start=$SECONDS
    status=0
    chroot "$root" /usr/bin/env -i HOME=/root TERM="${TERM:-dumb}" LANG=C.UTF-8 \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        bash -c 'cd /root/tavrel && bash "$1"' bash "$1" || status=$?
    if [ "$status" = 0 ]; then result=passed; else result="FAILED (exit status $status)"; fi
    results+=("$(printf 'check-debian13: bash %-16s %s in %dm%02ds' "$1" "$result" \
        $(((SECONDS - start) / 60)) $(((SECONDS - start) % 60)))")
    return "$status"
}
failed=0
run_command scripts/demo.sh || failed=1
run_command scripts/test.sh || failed=1
echo "check-debian13: Debian 13 chroot, commit $commit"
printf '%s\n' "${results[@]}"
exit "$failed"
