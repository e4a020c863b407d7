#!/bin/bash
# Installs Tarvex and checks what lands: the file list, both programs (a conversion, and the window started
# without a screen with images on its command line), the desktop entry, the AppStream metadata, the man
# pages, the MIME types (an image without its extension is known by its content) and the bash completion.
# Every check runs; the script fails when any of them does.
#   check_install.sh BUILD_DIR SOURCE_DIR CORPUS_DIR WITH_GUI(0|1)
#       installs the build into a temporary prefix;
#   check_install.sh --package DEB SOURCE_DIR CORPUS_DIR
#       installs the Debian package with apt, also runs lintian on it, and removes the package again.
set -u
usage="usage: check_install.sh BUILD_DIR SOURCE_DIR CORPUS_DIR WITH_GUI | --package DEB SOURCE_DIR CORPUS_DIR"
package=""
if [[ ${1:-} == --package ]]; then
    package=$(realpath "${2:?$usage}")
    source_dir=${3:?$usage}
    corpus_dir=${4:?$usage}
    [[ $(dpkg-deb -c "$package") == *"/usr/bin/tarvex"$'\n'* ]] && with_gui=1 || with_gui=0
else
    build_dir=${1:?$usage}
    source_dir=${2:?$usage}
    corpus_dir=${3:?$usage}
    with_gui=${4:?$usage}
fi
app_id=org.tarvex.Tarvex
sudo=""
[[ $(id -u) == 0 ]] || sudo=sudo

work=$(mktemp -d)
chmod 755 "$work"
trap 'rm -rf "$work"' EXIT
if [[ -n $package ]]; then prefix=/usr; else prefix=$work/prefix; fi
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# Runs a command that must succeed and print nothing on either stream.
expect_silent() {
    local what=$1
    shift
    local output
    output=$("$@" 2>&1)
    local status=$?
    if ((status != 0)) || [[ -n $output ]]; then
        fail "$what (status $status)"
        printf '%s\n' "$output" | sed 's/^/    /'
    fi
}

# The files installed below the prefix, relative to it, sorted.
installed_files() {
    if [[ -n $package ]]; then
        dpkg -L tarvex | while read -r path; do [[ -f $path ]] && echo "${path#"$prefix"/}"; done | sort
    else
        (cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | sort)
    fi
}

check_file_list() {
    local expected=(
        share/applications/$app_id.desktop
        share/bash-completion/completions/tarvex-cli
        share/doc/tarvex/README.md
        share/doc/tarvex/changelog.gz
        share/doc/tarvex/copyright
        share/icons/hicolor/scalable/apps/$app_id.svg
        share/lintian/overrides/tarvex
        share/locale/ru/LC_MESSAGES/tarvex.mo
        share/man/man1/tarvex-cli.1.gz
        share/man/man1/tarvex.1.gz
        share/metainfo/$app_id.metainfo.xml
        share/mime/packages/$app_id.xml
        bin/tarvex-cli
    )
    ((with_gui)) && expected+=(bin/tarvex)
    local want got
    want=$(printf '%s\n' "${expected[@]}" | sort)
    got=$(installed_files)
    if [[ $got != "$want" ]]; then
        fail "installed files differ from the expected list"
        diff <(printf '%s\n' "$want") <(printf '%s\n' "$got") | sed 's/^/    /'
    fi
    local program
    for program in tarvex-cli $( ((with_gui)) && echo tarvex); do
        [[ -x $prefix/bin/$program ]] || fail "bin/$program is not executable"
    done
    local version
    version=$("$prefix/bin/tarvex-cli" --version 2>&1)
    [[ $version == "tarvex-cli "[0-9]* ]] || fail "installed tarvex-cli --version prints '$version'"
}

# The installed tarvex-cli converts a real TR-DOS disk to UDI and back to the same bytes.
check_conversion() {
    local image
    image=$corpus_dir/trd/zxtune-tiden.trd
    [[ -f $image ]] || fail "no sample image $image"
    mkdir -p "$work/convert/udi" "$work/convert/trd"
    cp "$image" "$work/convert/disk.trd"
    local output
    output=$("$prefix/bin/tarvex-cli" convert --to udi -o "$work/convert/udi" "$work/convert/disk.trd" 2>&1)
    [[ $output == *"Converted!"* ]] || fail "installed tarvex-cli convert --to udi prints '$output'"
    output=$("$prefix/bin/tarvex-cli" convert --to trd -o "$work/convert/trd" "$work/convert/udi/disk.udi" 2>&1)
    [[ $output == *"Converted!"* ]] || fail "installed tarvex-cli convert --to trd prints '$output'"
    cmp -s "$work/convert/disk.trd" "$work/convert/trd/disk.trd" ||
        fail "TRD -> UDI -> TRD through the installed tarvex-cli changed the disk"
}

# The installed tarvex-cli (a static program) takes its language from the locale: its catalogue beside it
# under a Russian locale, English under C.
check_cli_language() {
    local said
    said=$(LC_ALL=ru_RU.UTF-8 "$prefix/bin/tarvex-cli" convert --to xyz disk.trd 2>&1) || true
    [[ $said == *"неизвестный формат 'xyz'"* ]] || fail "installed tarvex-cli under ru_RU.UTF-8 says '$said'"
    said=$(LC_ALL=C "$prefix/bin/tarvex-cli" convert --to xyz disk.trd 2>&1) || true
    [[ $said == *"unknown format 'xyz'"* ]] || fail "installed tarvex-cli under C says '$said'"
}

# The installed window, started without a screen with two images and a text file on its command line,
# lists the two images (the text file is refused with the window's message).
check_window() {
    ((with_gui)) || return 0
    local images=$work/window
    mkdir -p "$images/sub"
    printf 'not an image' >"$images/notes.txt"
    head -c 655360 /dev/zero >"$images/sub/first.trd"
    head -c 655360 /dev/zero >"$images/SECOND.TRD"
    local listed
    listed=$(cd "$images" && XDG_CONFIG_HOME=$work/window-config XDG_DATA_HOME=$work/window-data \
        LC_ALL=ru_RU.UTF-8 QT_QPA_PLATFORM=offscreen timeout 20 "$prefix/bin/tarvex" --print-list sub/first.trd notes.txt SECOND.TRD \
        2>"$work/window.err")
    local want
    want=$(printf '1\t%s\n2\t%s' "$images/sub/first.trd" "$images/SECOND.TRD")
    if [[ $listed != "$want" ]]; then
        fail "the installed window started with images does not list them"
        printf 'listed:\n%s\nstandard error:\n' "$listed" | sed 's/^/    /'
        sed 's/^/    /' "$work/window.err"
    fi
    # Under a Russian locale the installed window finds its catalogue beside it; under C it speaks English.
    grep -q "Не поддерживаемый тип файла" "$work/window.err" || fail "the window did not refuse notes.txt in Russian"
    (cd "$images" && XDG_CONFIG_HOME=$work/window-config XDG_DATA_HOME=$work/window-data LC_ALL=C \
        QT_QPA_PLATFORM=offscreen timeout 20 "$prefix/bin/tarvex" --print-list notes.txt >/dev/null 2>"$work/window-en.err")
    grep -q "Unsupported file type." "$work/window-en.err" || fail "the window did not refuse notes.txt in English"
    local version
    version=$(QT_QPA_PLATFORM=offscreen "$prefix/bin/tarvex" --version 2>/dev/null)
    [[ $version == "Tarvex "[0-9]* ]] || fail "installed tarvex --version prints '$version'"
}

# The type names the MIME XML declares, sorted.
declared_mime_types() {
    xmllint --xpath '//*[local-name()="mime-type"]/@type' "$prefix/share/mime/packages/$app_id.xml" |
        grep -o 'type="[^"]*"' | sed 's/type="\(.*\)"/\1/' | sort
}

check_desktop_entry() {
    local entry=$prefix/share/applications/$app_id.desktop
    expect_silent "desktop-file-validate $app_id.desktop" desktop-file-validate "$entry"
    grep -qx "Exec=tarvex %F" "$entry" || fail "the desktop entry does not start 'tarvex %F'"
    grep -qx "Icon=$app_id" "$entry" || fail "the desktop entry's icon is not $app_id"
    local listed
    listed=$(grep '^MimeType=' "$entry" | cut -d= -f2 | tr ';' '\n' | sed '/^$/d' | sort)
    [[ $listed == "$(declared_mime_types)" ]] || fail "the desktop entry's MimeType differs from the MIME XML"
}

check_metainfo() {
    local metainfo=$prefix/share/metainfo/$app_id.metainfo.xml
    local output
    if ! output=$(appstreamcli validate --no-net "$metainfo" 2>&1); then
        fail "appstreamcli validate --no-net"
        printf '%s\n' "$output" | sed 's/^/    /'
    fi
    [[ $(xmllint --xpath 'string(/component/id)' "$metainfo") == "$app_id" ]] || fail "metainfo id is not $app_id"
    [[ $(xmllint --xpath 'string(/component/launchable)' "$metainfo") == "$app_id.desktop" ]] ||
        fail "metainfo does not launch $app_id.desktop"
    local provided
    provided=$(xmllint --xpath '//provides/mediatype/text()' "$metainfo" | sort)
    [[ $provided == "$(declared_mime_types)" ]] || fail "metainfo mediatypes differ from the MIME XML"
    local binary
    for binary in tarvex tarvex-cli; do
        xmllint --xpath "//provides/binary[text()='$binary']" "$metainfo" >/dev/null 2>&1 ||
            fail "metainfo does not provide the binary $binary"
    done
}

# Every text that lists the formats names each one the MIME XML gives an extension to: the desktop entry's
# comment in both languages, the AppStream and Debian descriptions, the README's FORMAT line and `Type` list.
# The README says one thing of how a reader is chosen.
check_format_texts() {
    local readme=$prefix/share/doc/tarvex/README.md debian format
    if [[ -n $package ]]; then debian=$(dpkg-deb -f "$package" Description); else
        debian=$(sed -n '/^set(CPACK_DEBIAN_PACKAGE_DESCRIPTION/,/")$/p' "$build_dir/CPackConfig.cmake"); fi
    local -A texts=(
        ["the desktop entry's Comment"]=$(grep '^Comment=' "$prefix/share/applications/$app_id.desktop")
        ["the desktop entry's Comment[ru]"]=$(grep '^Comment\[ru\]=' "$prefix/share/applications/$app_id.desktop")
        ["the AppStream description"]=$(xmllint --xpath 'string(//description)' "$prefix/share/metainfo/$app_id.metainfo.xml")
        ["the Debian description"]=$debian
        ["the README's FORMAT line"]=$(grep -m1 '^ *FORMAT  ' "$readme" | tr a-z A-Z)
        ["the README's Type list"]=$(grep -m1 -A1 'keys `ImageDirectory`' "$readme" | grep -o '[0-9] [A-Z0-9]*'))
    for format in $(xmllint --xpath '//*[local-name()="glob"]/@pattern' "$prefix/share/mime/packages/$app_id.xml" |
        grep -o '\*\.[a-z0-9]*' | cut -c3- | tr a-z A-Z | sort -u); do
        for text in "${!texts[@]}"; do grep -qw "$format" <<<"${texts[$text]}" || fail "$text leaves out $format"; done
    done
    ! grep -q "chosen by the file's extension" "$readme" || fail "the README says the reader is chosen by extension only"
}

check_man_pages() {
    local page
    for page in tarvex tarvex-cli; do
        local file=$prefix/share/man/man1/$page.1.gz
        # man writes the page to stdout; only its warnings (stderr) must be empty.
        local warnings
        warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 "$file" 2>&1 >/dev/null)
        [[ -z $warnings ]] || { fail "man --warnings $page.1"; printf '%s\n' "$warnings" | sed 's/^/    /'; }
        expect_silent "groff -ww -man -z $page.1" bash -c 'zcat "$1" | groff -ww -man -z' _ "$file"
        LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$file" 2>/dev/null | grep -q "^SYNOPSIS" ||
            fail "$page.1 renders without a SYNOPSIS"
    done
    # Every long option the program's help lists is in its manual page.
    local option
    for option in $("$prefix/bin/tarvex-cli" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
        zgrep -qF -- "${option//-/\\-}" "$prefix/share/man/man1/tarvex-cli.1.gz" ||
            fail "tarvex-cli.1 does not describe $option"
    done
}

# Prints the content type gio gives FILE with only the installed prefix's MIME database beside the system's.
content_type() {
    XDG_DATA_HOME=$work/empty-home XDG_DATA_DIRS=$prefix/share:/usr/share \
        gio info -a standard::content-type "$1" 2>/dev/null | sed -n 's/^ *standard::content-type: //p'
}

expect_type() {
    local wanted=$1 file=$2 got
    got=$(content_type "$file")
    [[ $got == "$wanted" ]] || fail "gio names $(basename "$file") '$got', expected '$wanted'"
}

check_mime_types() {
    local xml=$prefix/share/mime/packages/$app_id.xml
    expect_silent "xmllint --noout $app_id.xml" xmllint --noout "$xml"
    # A package's MIME types reach the system's database through dpkg's trigger.
    if [[ -z $package ]] && ! update-mime-database "$prefix/share/mime" >"$work/umd.log" 2>&1; then
        fail "update-mime-database"
        sed 's/^/    /' "$work/umd.log"
        return
    fi
    [[ -n $package || -s $prefix/share/mime/mime.cache ]] || fail "update-mime-database wrote no mime.cache"

    # Signatures alone, in files without an extension, padded as a real header would be.
    local samples=$work/samples
    mkdir -p "$samples" "$work/empty-home"
    local padding
    padding=$(printf '%0256d' 0 | tr 0 '\001')
    printf 'UDI!%s' "$padding" >"$samples/udi"
    printf 'SINCLAIR%s' "$padding" >"$samples/scl"
    printf 'FDI%s' "$padding" >"$samples/fdi"
    printf 'TD\000\000\025%s' "$padding" >"$samples/td0-plain-v21"
    printf 'td\000\000\012%s' "$padding" >"$samples/td0-packed-v10"
    printf 'TD\000\000\017%s' "$padding" >"$samples/td0-plain-v15"
    printf 'TD\000\000\011%s' "$padding" >"$samples/td-version-9"
    printf 'td\000\000\026%s' "$padding" >"$samples/td-version-22"
    printf 'Td\000\000\025%s' "$padding" >"$samples/td-mixed-case"
    printf 'HXCPICFE%s' "$padding" >"$samples/hfe-v1"
    printf 'HXCHFEV3%s' "$padding" >"$samples/hfe-v3"
    printf 'MV - CPCEMU Disk-File\r\nDisk-Info\r\n%s' "$padding" >"$samples/dsk-standard"
    printf 'EXTENDED CPC DSK File\r\nDisk-Info\r\n%s' "$padding" >"$samples/dsk-extended"
    expect_type application/x-udi-disk-image "$samples/udi"
    expect_type application/x-scl-archive "$samples/scl"
    expect_type application/x-fdi-disk-image "$samples/fdi"
    expect_type application/x-teledisk-image "$samples/td0-plain-v21"
    expect_type application/x-teledisk-image "$samples/td0-packed-v10"
    expect_type application/x-teledisk-image "$samples/td0-plain-v15"
    expect_type application/octet-stream "$samples/td-version-9"
    expect_type application/octet-stream "$samples/td-version-22"
    expect_type application/octet-stream "$samples/td-mixed-case"
    expect_type application/x-hfe-floppy-image "$samples/hfe-v1"
    expect_type application/x-hfe-floppy-image "$samples/hfe-v3"
    expect_type application/x-cpc-disk-image "$samples/dsk-standard"
    expect_type application/x-cpc-disk-image "$samples/dsk-extended"

    # Headerless formats by their extension, in any letter case.
    head -c 4096 /dev/zero >"$samples/GAME.TRD"
    head -c 4096 /dev/zero >"$samples/cpm.Pro"
    head -c 4096 /dev/zero >"$samples/korvet.kdi"
    expect_type application/x-trd-disk-image "$samples/GAME.TRD"
    expect_type application/x-pro-disk-image "$samples/cpm.Pro"
    expect_type application/x-kdi-disk-image "$samples/korvet.kdi"

    # Real images, renamed without their extension.
    [[ -d $corpus_dir ]] || fail "no sample corpus at $corpus_dir"
    local format type image count
    for format in udi:application/x-udi-disk-image scl:application/x-scl-archive td0:application/x-teledisk-image \
        hfe:application/x-hfe-floppy-image dsk:application/x-cpc-disk-image; do
        type=${format#*:}
        format=${format%%:*}
        count=0
        for image in "$corpus_dir/$format"/*."$format"; do
            [[ -f $image ]] || continue
            cp "$image" "$samples/corpus-$format-$count"
            expect_type "$type" "$samples/corpus-$format-$count"
            count=$((count + 1))
        done
        ((count > 0)) || fail "no $format image in $corpus_dir/$format"
    done
}

check_completion() {
    local output
    if ! output=$(bash "$source_dir/tests/install/completion_test.sh" \
        "$prefix/share/bash-completion/completions/tarvex-cli" 2>&1); then
        fail "bash completion"
        printf '%s\n' "$output" | sed 's/^/    /'
    fi
}

for tool in cmake desktop-file-validate appstreamcli man groff xmllint update-mime-database gio; do
    command -v "$tool" >/dev/null || fail "$tool is not installed"
done
if ((failures)); then
    exit 1
fi

# Lintian's errors; its warnings and notes are printed without failing.
check_lintian() {
    local status=0
    lintian --fail-on error "$package" >"$work/lintian.log" 2>&1 || status=$?
    grep -v 'running with root privileges' "$work/lintian.log" | sed 's/^/    lintian: /'
    ((status == 0)) || fail "lintian reports errors"
}

install_package() {
    if dpkg-query -W -f='${Status}' tarvex 2>/dev/null | grep -q "install ok installed"; then
        echo "FAIL: a tarvex package is installed already; remove it first"
        exit 1
    fi
    trap 'remove_package; rm -rf "$work"' EXIT
    if ! $sudo env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -qq "$package" >"$work/install.log" 2>&1; then
        echo "FAIL: apt-get install $package"
        sed 's/^/    /' "$work/install.log"
        exit 1
    fi
}

remove_package() {
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 purge -y -qq tarvex >"$work/remove.log" 2>&1 ||
        { fail "apt-get purge tarvex"; sed 's/^/    /' "$work/remove.log"; }
    [[ ! -e /usr/bin/tarvex-cli ]] || fail "/usr/bin/tarvex-cli is left after removing the package"
}

if [[ -n $package ]]; then
    command -v lintian >/dev/null || fail "lintian is not installed"
    ((failures)) && exit 1
    install_package
    check_lintian
elif ! cmake --install "$build_dir" --prefix "$prefix" >"$work/install.log" 2>&1; then
    echo "FAIL: cmake --install"
    sed 's/^/    /' "$work/install.log"
    exit 1
fi

check_file_list
check_conversion
check_cli_language
check_window
check_desktop_entry
check_metainfo
check_format_texts
check_man_pages
check_mime_types
check_completion
if [[ -n $package ]]; then
    trap 'rm -rf "$work"' EXIT
    remove_package
fi

if ((failures)); then
    echo "$failures install check(s) failed"
    exit 1
fi
echo "install: all checks passed"
