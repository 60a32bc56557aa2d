# Sourced (not run) by the test stages and the builders of the cross
# sysroots: the build machine's packages of each cross stage, the check of
# ctest's options, a step with a log of its own, and an apt state of its own.

# cross_triple ARCH: the cross compiler's name of a cross stage's machine.
cross_triple() {
    case $1 in
        ppc) echo powerpc-linux-gnu ;;
        i386) echo i686-linux-gnu ;;
        s390x) echo s390x-linux-gnu ;;
    esac
}

# cross_packages ARCH...: the build machine's packages that the cross stages
# of ARCH need: the cross compiler and qemu-user, and for the board's
# libraries, built from Debian's sources, the tools those sources need.
cross_packages() {
    for arch; do
        echo "g++-$(cross_triple "$arch")"
        [ "$arch" != ppc ] || echo dpkg-dev xz-utils file make
    done
    echo qemu-user
}

# check_ctest_options USAGE ARG...: --help prints USAGE and exits 0; an
# option that ctest does not know prints it and exits 2, before any build.
check_ctest_options() {
    usage=$1
    shift
    for arg; do
        case $arg in
            --help) echo "$usage"; exit 0 ;;
            -*) ! command -v ctest >/dev/null ||
                ctest --help | grep -Eq -- "(^ +|, *)${arg%%[0-9=]*}([ ,=]|\$)" ||
                { echo "$usage" >&2; exit 2; } ;;
        esac
    done
}

# step NAME COMMAND...: runs COMMAND with its output in $logs/NAME.log; when
# it fails, shows the end of that log and stops ($tool names the script).
step() {
    step_log=$logs/$1.log
    shift
    step_status=0
    "$@" >"$step_log" 2>&1 || step_status=$?
    [ "$step_status" -eq 0 ] && return
    [ "$step_status" -ne 124 ] || step_status="124, over its time"
    echo "$tool: failed (exit status $step_status): $*; end of $step_log:" >&2
    tail -n 60 "$step_log" >&2
    exit 1
}

# private_apt FOLDER TYPE [ARCH]: an apt state of its own in FOLDER (package
# lists, cache) with the Debian archives the machine uses, for binary
# packages of ARCH (TYPE deb) or sources (TYPE deb-src), signed by Debian's
# keyring; the machine's own apt state and sources stay as they are. Then
# apt_private ARG... runs apt-get in it.
private_apt() {
    apt=$1
    rm -rf "$apt/state" "$apt/cache"
    mkdir -p "$apt/state/lists/partial" "$apt/cache/archives/partial"
    : >"$apt/state/status"
    apt_arch=${3:-$(dpkg --print-architecture)}
    apt-get indextargets --format '$(TARGET_OF) $(SITE) $(RELEASE) $(COMPONENT)' 'Identifier: Packages' |
        awk -v type="$2" -v arch="$apt_arch" '$1 == "deb" && $2 ~ /debian/ {
            print type " [arch=" arch " signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] " $2, $3, $4 }' |
        sort -u >"$apt/sources.list"
    [ -s "$apt/sources.list" ] || { echo "$tool: no Debian archive in apt's sources" >&2; exit 1; }
    step apt-update apt_private update
}
apt_private() {
    apt-get -o "Dir::State=$apt/state" -o "Dir::State::status=$apt/state/status" \
        -o "Dir::Cache=$apt/cache" -o "Dir::Etc::SourceList=$apt/sources.list" \
        -o Dir::Etc::SourceParts=/nonexistent -o "APT::Architecture=$apt_arch" \
        -o "APT::Architectures::=$apt_arch" -o APT::Sandbox::User=root "$@"
}
