# Bash completion for tarvex-cli: the subcommands, their options, the format names after --to and --from,
# folders after --output-dir, any file after --log, and otherwise folders and the image files the readers
# take (by their extension, in any letter case; with --from, any file). The TR-DOS file commands (files,
# new) take an image and then any files.

_tarvex_cli_image_files() {
    local cur=$1
    local IFS=$'\n'
    local -a candidates=()
    local path
    local nocase_was_set=0
    shopt -q nocasematch && nocase_was_set=1
    shopt -s nocasematch
    # Folders stay offered so that a path can be walked into.
    candidates=($(compgen -d -- "$cur"))
    for path in $(compgen -f -- "$cur"); do
        [[ ! -d $path && $path == *.@(udi|trd|td0|fdi|pro|scl|kdi|hfe|dsk) ]] && candidates+=("$path")
    done
    ((nocase_was_set)) || shopt -u nocasematch
    COMPREPLY=("${candidates[@]}")
}

# Image files, or with a forced reader (second argument 1) any file.
_tarvex_cli_files() {
    if (($2)); then
        local IFS=$'\n'
        COMPREPLY=($(compgen -f -- "$1"))
    else
        _tarvex_cli_image_files "$1"
    fi
}

# files list|extract|add|delete and new: the file commands, their options, format names, folders after
# --output-dir, the image as the first word that is no option, then any file.
_tarvex_cli_trdos_files() {
    local command=$1 cur=$2 prev=$3 cword=$4
    local formats="udi trd td0 fdi pro scl kdi hfe dsk"
    local adding="--raw --name --type --start --replace --compact"
    if [[ $command == files ]] && ((cword == 2)); then
        COMPREPLY=($(compgen -W "list extract add delete --help -h" -- "$cur"))
        return
    fi
    local options
    case $command/${COMP_WORDS[2]} in
        files/list) options="--from --help -h" ;;
        files/extract) options="--from --raw --output-dir --overwrite --help -o -h" ;;
        files/add) options="--from $adding --help -h" ;;
        files/delete) options="--from --compact --help -h" ;;
        new/*) options="--to --label --cylinders --sides --overwrite $adding --help -t -h" ;;
        *) return ;;
    esac
    case $prev in
        -t|--to|--from)
            COMPREPLY=($(compgen -W "$formats" -- "$cur"))
            return ;;
        -o|--output-dir)
            local IFS=$'\n'
            COMPREPLY=($(compgen -d -- "$cur"))
            return ;;
        --cylinders)
            COMPREPLY=($(compgen -W "80 40" -- "$cur"))
            return ;;
        --sides)
            COMPREPLY=($(compgen -W "2 1" -- "$cur"))
            return ;;
        --label|--name|--type|--start)
            return ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi
    local IFS=$'\n'
    COMPREPLY=($(compgen -f -- "$cur"))
}

_tarvex_cli() {
    local cur prev cword
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}
    cword=$COMP_CWORD
    # Bash splits "--to=udi" at the "=": the option is then the word before the "=".
    if [[ $cur == = ]]; then
        cur=""
    elif [[ $prev == = ]] && ((cword > 2)); then
        prev=${COMP_WORDS[cword-2]}
    fi
    local formats="udi trd td0 fdi pro scl kdi hfe dsk"
    local convert_options="--to --from --output-dir --overwrite --jobs --log --compress --quiet --help -t -o -j -q -h"
    local info_options="--from --json --quiet --help -q -h"

    if ((cword == 1)); then
        COMPREPLY=($(compgen -W "convert info files new help --help --version -h -V" -- "$cur"))
        return
    fi

    local command=${COMP_WORDS[1]}
    if [[ $command == files || $command == new ]]; then
        _tarvex_cli_trdos_files "$command" "$cur" "$prev" "$cword"
        return
    fi
    local i forced=0
    # After "--" every word is a file name. With --from any file is read, whatever its name.
    for ((i = 2; i < cword; i++)); do
        [[ ${COMP_WORDS[i]} == --from || ${COMP_WORDS[i]} == --from=* ]] && forced=1
        if [[ ${COMP_WORDS[i]} == -- ]]; then
            _tarvex_cli_files "$cur" "$forced"
            return
        fi
    done

    if [[ ($command == convert || $command == info) && $prev == --from ]]; then
        COMPREPLY=($(compgen -W "$formats" -- "$cur"))
        return
    fi

    if [[ $command == convert ]]; then
        case $prev in
            -t|--to)
                COMPREPLY=($(compgen -W "$formats" -- "$cur"))
                return ;;
            -o|--output-dir)
                local IFS=$'\n'
                COMPREPLY=($(compgen -d -- "$cur"))
                return ;;
            --log)
                local IFS=$'\n'
                COMPREPLY=($(compgen -f -- "$cur"))
                return ;;
            -j|--jobs)
                return ;;
        esac
    elif [[ $command != info ]]; then
        return
    fi

    if [[ $cur == -* ]]; then
        local options=$info_options
        [[ $command == convert ]] && options=$convert_options
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi
    _tarvex_cli_files "$cur" "$forced"
}

complete -o filenames -F _tarvex_cli tarvex-cli
