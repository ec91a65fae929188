#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks what a build tree delivers, the way a desktop, a terminal and a package manager
# see it.
#
#   check_install.sh install BUILD_DIR VERSION WORK_DIR
#       installs the build tree under WORK_DIR/root/usr and checks the installed files
#   check_install.sh deb BUILD_DIR VERSION WORK_DIR
#       packs the build tree with `cpack -G DEB` into WORK_DIR and checks the package
#
# CMAKE and CPACK name the tools of the build (default: the ones on PATH).
# Exit status: 0 passed; 1 failed, with every problem found printed; 2 wrong command
# line; 77 skipped, with the reason, because a checking tool is not installed (in install
# mode the checks that need no such tool have still run and passed).
set -uo pipefail

# WORK_DIR is emptied first, so an empty value or the root folder is refused.
if [[ $# -ne 4 || ($1 != install && $1 != deb) || -z $4 || $4 == / ]]; then
  echo "usage: $0 install|deb BUILD_DIR VERSION WORK_DIR" >&2
  exit 2
fi
mode=$1 build_dir=$2 version=$3 work_dir=$4
cmake=${CMAKE:-cmake}
cpack=${CPACK:-cpack}

# What the package must hold, below /usr, and nothing else.
expected_files=(
  bin/sorvina
  bin/sorvina-cli
  libexec/sorvina/sorvina-codecs
  share/applications/sorvina.desktop
  share/bash-completion/completions/sorvina-cli
  share/doc/sorvina/copyright
  share/fish/vendor_completions.d/sorvina-cli.fish
  share/icons/hicolor/256x256/apps/sorvina.png
  share/man/man1/sorvina-cli.1.gz
  share/man/man1/sorvina.1.gz
  share/metainfo/io.github.sorvina.Sorvina.metainfo.xml
  share/zsh/vendor-completions/_sorvina-cli
)

failures=0
skip_reasons=()
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
need_tool() {  # need_tool TOOL PACKAGE: false, with a skip reason, when TOOL is missing
  command -v "$1" >/dev/null 2>&1 && return 0
  skip_reasons+=("$1 is not installed (Debian package $2)")
  return 1
}
finish() {
  if ((failures > 0)); then
    echo "$failures problem(s) found" >&2
    exit 1
  fi
  if ((${#skip_reasons[@]} > 0)); then
    printf 'SKIP: %s\n' "${skip_reasons[@]}"
    exit 77
  fi
  echo "all checks passed"
  exit 0
}

# A fresh, private scratch folder; an earlier run's leftovers must not satisfy a check.
rm -rf "$work_dir"
mkdir -p "$work_dir" || { echo "FAIL: cannot create $work_dir" >&2; exit 1; }
# A DESTDIR inherited from the caller's environment would move the installed tree.
unset DESTDIR

# check_file_list LISTING: LISTING holds one path a line relative to /usr; compares it
# with the expected files and names each one missing or extra.
check_file_list() {
  local missing extra
  missing=$(comm -23 <(printf '%s\n' "${expected_files[@]}" | sort) <(sort <<<"$1"))
  extra=$(comm -13 <(printf '%s\n' "${expected_files[@]}" | sort) <(sort <<<"$1"))
  [[ -z $missing ]] || fail "missing: $(tr '\n' ' ' <<<"$missing")"
  [[ -z $extra ]] || fail "not ours or not expected: $(tr '\n' ' ' <<<"$extra")"
}

# check_png_256 FILE: a PNG whose header chunk gives 256 x 256 pixels.
check_png_256() {
  local bytes
  bytes=$(od -An -tx1 -N24 "$1" | tr -d ' \n')
  [[ ${bytes:0:16} == 89504e470d0a1a0a ]] || { fail "$1 is not a PNG file"; return; }
  [[ ${bytes:24:8} == 49484452 ]] || { fail "$1 has no header chunk first"; return; }
  [[ ${bytes:32:16} == 0000010000000100 ]] ||
    fail "$1 is $((16#${bytes:32:8})) x $((16#${bytes:40:8})) pixels, not 256 x 256"
}

# desktop_key FILE KEY: the value of KEY in the [Desktop Entry] group.
desktop_key() {
  sed -n '/^\[Desktop Entry\]/,/^\[/{s/^'"$2"'=//p}' "$1" | head -n 1
}

# long_options PROGRAM: the long options that PROGRAM's --help lists, one a line.
long_options() {
  "$1" --help | sed -nE 's/^ +(-[[:alnum:]],)?(--[[:alnum:]][[:alnum:]-]*).*/\2/p'
}

# check_manuals USR: every manual page renders without a warning, and sorvina-cli's
# describes each of its options and has the hand-written examples and the licence.
check_manuals() {
  local usr=$1 page out text option
  need_tool man man-db || return
  for page in "$usr"/share/man/man1/*.1.gz; do
    out=$(MANWIDTH=80 man -l --warnings "$page" 2>&1 >/dev/null) ||
      fail "man -l ${page#"$usr"/} failed: $out"
    [[ -z $out ]] || fail "man -l ${page#"$usr"/} warns: $out"
  done
  [[ -f $usr/share/man/man1/sorvina-cli.1.gz ]] || return
  text=$(MANWIDTH=80 man -l "$usr/share/man/man1/sorvina-cli.1.gz" 2>/dev/null)
  while read -r option; do
    grep -qe "$option" <<<"$text" || fail "sorvina-cli.1 does not describe $option"
  done < <(long_options "$usr/bin/sorvina-cli")
  for section in EXAMPLES COPYRIGHT GPL-3.0-or-later; do
    grep -q "$section" <<<"$text" || fail "sorvina-cli.1 lacks $section"
  done
}

# complete_with SHELL SCRIPT LINE: what SHELL's completion from SCRIPT offers for the last
# word of LINE, one a line, sorted, folders without their trailing slash. bash sees the
# words as readline splits them (at blanks and at '=').
complete_with() {
  case $1 in
    bash)
      bash --norc --noprofile -c '
        source "$1" || exit 1
        function=$(complete -p sorvina-cli | sed -n "s/.*-F \([^ ]*\) .*/\1/p")
        read -ra COMP_WORDS <<<"${2//=/ = }"
        [[ $2 == *" " ]] && COMP_WORDS+=("")
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1)) COMP_LINE=$2 COMP_POINT=${#2}
        "$function" sorvina-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
        printf "%s\n" "${COMPREPLY[@]}"' bash "$2" "$3"
      ;;
    fish)
      # fish gives "candidate<TAB>description", and --option=value whole.
      fish --no-config -c 'source $argv[1]; complete -C $argv[2]' "$2" "$3" |
        cut -f1 | sed -E 's/^--[[:alnum:]-]+=//'
      ;;
  esac | sed 's|/$||' | grep -v '^$' | sort
}

# check_completions USR: each shell loads its completion of sorvina-cli; bash and fish
# complete options, their values and file and folder names.
check_completions() {
  local usr=$1 script out
  local bash_script=$usr/share/bash-completion/completions/sorvina-cli
  local zsh_script=$usr/share/zsh/vendor-completions/_sorvina-cli
  local fish_script=$usr/share/fish/vendor_completions.d/sorvina-cli.fish
  [[ -f $bash_script ]] && { out=$(bash -n "$bash_script" 2>&1) || fail "bash -n: $out"; }
  if [[ -f $zsh_script ]] && need_tool zsh zsh; then
    out=$(zsh -n "$zsh_script" 2>&1) || fail "zsh -n: $out"
    # zsh runs completion only inside its line editor, on a terminal; what can be checked
    # without one is that compinit finds the function for sorvina-cli in the folder.
    out=$(zsh -f -c 'fpath=("$1" $fpath); autoload -Uz compinit; compinit -u -D
      print -r -- $_comps[sorvina-cli]' zsh "${zsh_script%/*}" 2>&1)
    [[ $out == _sorvina-cli ]] || fail "zsh's compinit does not load _sorvina-cli: $out"
  fi
  local shells=(bash)
  if [[ -f $fish_script ]] && need_tool fish fish; then
    out=$(fish --no-config -n "$fish_script" 2>&1) || fail "fish -n: $out"
    shells+=(fish)
  fi

  # A tree to complete names in: folders (one with a blank) and files beside them.
  local tree=$work_dir/tree
  mkdir -p "$tree/My Music" "$tree/music/Rock" "$tree/lists"
  touch "$tree/lists/party.m3u" "$tree/music/song.mp3" "$tree/notes.txt"
  local all_options
  all_options=$(long_options "$usr/bin/sorvina-cli" | sort)
  # LINE|what completing its last word offers, blank-separated in sorted order.
  local cases=(
    "sorvina-cli --on-c|--on-conflict"
    "sorvina-cli --on-conflict |ask keep-both replace skip"
    "sorvina-cli --on-conflict=re|replace"
    "sorvina-cli -q --copy-to $tree/|$tree/My Music $tree/lists $tree/music"
    "sorvina-cli --playlist $tree/lists/|$tree/lists/party.m3u"
    "sorvina-cli probe $tree/music/|$tree/music/Rock $tree/music/song.mp3"
    "sorvina-cli --mb |"
    "sorvina-cli |probe"
  )
  local shell entry line expected
  for shell in "${shells[@]}"; do
    script=$bash_script
    [[ $shell == fish ]] && script=$fish_script
    [[ -f $script ]] || continue
    for entry in "${cases[@]}"; do
      line=${entry%%|*} expected=${entry#*|}
      out=$(complete_with "$shell" "$script" "$line" | tr '\n' ' ')
      [[ ${out% } == "$expected" ]] ||
        fail "$shell completes \"$line\" with \"${out% }\", expected \"$expected\""
    done
    # Every option the program lists is offered, and nothing else.
    out=$(complete_with "$shell" "$script" "sorvina-cli --" | grep -- '^--')
    [[ $out == "$all_options" ]] ||
      fail "$shell offers other long options than sorvina-cli --help lists: $(
        diff <(echo "$all_options") <(echo "$out") | grep '^[<>]' | tr '\n' ' ')"
  done
}

# check_conversion USR: the installed sorvina-cli converts a song through the installed
# codec helper, which it finds beside itself wherever the tree is moved (here out of the
# build tree, whose own helper it must not need).
check_conversion() {
  local usr=$1 moved out
  [[ -x $usr/bin/sorvina-cli ]] || return
  moved=$(mktemp -d) || { fail "cannot make a folder to move the installed tree to"; return; }
  cp -a "$usr" "$moved/usr" && mkdir "$moved/music" ||
    { fail "cannot move the installed tree"; return; }
  # One second of silence as a WAV file: 8 kHz, mono, 16 bits.
  {
    printf 'RIFF\xa4\x3e\x00\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x01\x00'
    printf '\x40\x1f\x00\x00\x80\x3e\x00\x00\x02\x00\x10\x00data\x80\x3e\x00\x00'
    head -c 16000 /dev/zero
  } >"$moved/music/silence.wav"
  out=$(XDG_CACHE_HOME=$moved/cache XDG_STATE_HOME=$moved/state XDG_CONFIG_HOME=$moved/config \
    "$moved/usr/bin/sorvina-cli" -s "$moved/music" --types wav -c "$moved/player" --all \
    --convert mp3 2>&1) || fail "the installed sorvina-cli failed to convert: $out"
  [[ -s $moved/player/silence.mp3 ]] || fail "the installed sorvina-cli converted nothing: $out"
  rm -rf -- "$moved"
}

check_installed_tree() {
  local root=$work_dir/root usr=$work_dir/root/usr
  if ! "$cmake" --install "$build_dir" --prefix "$usr" >"$work_dir/install.log" 2>&1; then
    cat "$work_dir/install.log" >&2
    fail "cmake --install failed"
    return
  fi
  check_file_list "$(cd "$usr" && find . \( -type f -o -type l \) | sed 's|^\./||')"

  local program
  for program in bin/sorvina bin/sorvina-cli libexec/sorvina/sorvina-codecs; do
    [[ -f $usr/$program && -x $usr/$program ]] ||
      { fail "$program is not an executable file"; continue; }
    # Every shared library must resolve from the system, not from the build tree.
    if ldd "$usr/$program" | grep -q 'not found'; then
      fail "$program needs libraries that are not found: $(ldd "$usr/$program" |
        grep 'not found' | tr -s ' \t\n' ' ')"
    fi
  done
  check_conversion "$usr"

  local out entry first
  # PROGRAM|the first line of its --version: the name it is known by and the version;
  # then the copyright and the licence. The wizard answers without a display.
  for entry in "sorvina-cli|sorvina-cli $version" "sorvina|Sorvina $version"; do
    program=${entry%%|*} first=${entry#*|}
    [[ -x $usr/bin/$program ]] || continue
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 20 \
      "$usr/bin/$program" --version 2>&1) || fail "installed $program --version failed: $out"
    [[ ${out%%$'\n'*} == "$first" && $out == *GPL-3.0-or-later* ]] ||
      fail "installed $program --version says \"$out\", expected \"$first\" and the licence"
  done

  local desktop=$usr/share/applications/sorvina.desktop
  local metainfo=$usr/share/metainfo/io.github.sorvina.Sorvina.metainfo.xml
  [[ -f $usr/share/icons/hicolor/256x256/apps/sorvina.png ]] &&
    check_png_256 "$usr/share/icons/hicolor/256x256/apps/sorvina.png"

  if [[ -f $desktop ]]; then
    # The menu entry must start a program and show an icon that this tree provides.
    local exec icon
    exec=$(desktop_key "$desktop" Exec)
    icon=$(desktop_key "$desktop" Icon)
    [[ -x $usr/bin/${exec%% *} ]] || fail "desktop entry runs \"$exec\", not an installed program"
    compgen -G "$usr/share/icons/hicolor/*/apps/$icon.png" >/dev/null ||
      fail "desktop entry shows icon \"$icon\", which is not installed"
    if need_tool desktop-file-validate desktop-file-utils; then
      out=$(desktop-file-validate "$desktop" 2>&1)
      [[ $? -eq 0 && -z $out ]] || fail "desktop-file-validate: $out"
    fi
  fi

  if [[ -f $metainfo ]]; then
    # Checks the metainfo file and that its launchable desktop entry exists in the tree.
    if need_tool appstreamcli appstream; then
      out=$(appstreamcli validate-tree --no-net --strict "$root" 2>&1) ||
        fail "appstreamcli validate-tree: $out"
    fi
  fi

  [[ -x $usr/bin/sorvina-cli ]] || return
  check_manuals "$usr"
  check_completions "$usr"
}

check_package() {
  need_tool dpkg-deb dpkg || return
  need_tool dpkg-shlibdeps dpkg-dev || return
  need_tool file file || return
  if ! "$cpack" -G DEB --config "$build_dir/CPackConfig.cmake" -B "$work_dir" \
    >"$work_dir/cpack.log" 2>&1; then
    cat "$work_dir/cpack.log" >&2
    fail "cpack -G DEB failed"
    return
  fi
  local debs=("$work_dir"/*.deb)
  if [[ ${#debs[@]} -ne 1 || ! -f ${debs[0]} ]]; then
    fail "cpack made ${#debs[@]} packages, expected one: ${debs[*]}"
    return
  fi
  local deb=${debs[0]} arch
  arch=$(dpkg --print-architecture)
  [[ $(basename "$deb") == "sorvina_${version}_${arch}.deb" ]] ||
    fail "package file is named $(basename "$deb"), expected sorvina_${version}_${arch}.deb"

  # Regular files and links only, relative to /usr; anything outside /usr is extra.
  local listing
  listing=$(dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ { print $6 }' |
    sed -e 's|^\./usr/||' -e 's|^\./|/|')
  check_file_list "$listing"

  local field value
  for field in Package:sorvina Version:"$version" Section:sound Architecture:"$arch"; do
    value=$(dpkg-deb --field "$deb" "${field%%:*}")
    [[ $value == "${field#*:}" ]] || fail "${field%%:*} is \"$value\", expected \"${field#*:}\""
  done
  # Worked out from the linked libraries: Qt 6 Widgets for the wizard, TagLib for both,
  # FFmpeg for the codec helper.
  local depends
  depends=$(dpkg-deb --field "$deb" Depends)
  [[ $depends == *libqt6widgets6* ]] || fail "Depends lacks Qt 6 Widgets: \"$depends\""
  [[ $depends == *libtag1* ]] || fail "Depends lacks TagLib: \"$depends\""
  [[ $depends == *libavcodec* ]] || fail "Depends lacks FFmpeg, for sorvina-codecs: \"$depends\""

  # The licence the copyright file gives is the one the software centre shows.
  local unpacked=$work_dir/unpacked copyright_license metainfo_license
  dpkg-deb --extract "$deb" "$unpacked" || { fail "dpkg-deb cannot unpack $deb"; return; }
  copyright_license=$(sed -n 's/^License: //p' "$unpacked/usr/share/doc/sorvina/copyright")
  metainfo_license=$(sed -n 's|.*<project_license>\(.*\)</project_license>.*|\1|p' \
    "$unpacked/usr/share/metainfo/io.github.sorvina.Sorvina.metainfo.xml")
  [[ -n $copyright_license && $copyright_license == "$metainfo_license" ]] ||
    fail "copyright file gives licence \"$copyright_license\", metainfo \"$metainfo_license\""
}

case $mode in
  install) check_installed_tree ;;
  deb) check_package ;;
esac
finish
