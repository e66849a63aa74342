# bash completion for droskal-cli.
# Commands, options, option values and what each command's arguments are come from the
# program's own help, so a new command or option is completed without touching this file.

# The words of a command's usage line without its options: "cut FILE --from A --to B OUT"
# gives FILE OUT.
_droskal_cli_positionals() {
    sed -n '1{s/^usage: *[^ ]* *[^ ]* *//; s/\[[^]]*\]//g; s/--*[a-z][a-z0-9-]* [A-Z][A-Z]*//g; p}' \
        <<<"$1" | grep -oE '\b[A-Z][A-Z]+\b'
}

_droskal_cli() {
    local cur prev words cword
    _init_completion || return
    local program=${words[0]}

    if ((cword == 1)); then
        local commands
        commands=$("$program" --help 2>/dev/null |
            awk '/^commands:/ {on = 1; next} on && /^  [a-z]/ {print $1} on && /^$/ {exit}')
        COMPREPLY=($(compgen -W "$commands --help --version" -- "$cur"))
        return
    fi

    local help
    help=$("$program" "${words[1]}" --help 2>/dev/null) || return
    # Options: those of the usage line and those that open a line of the help.
    local options
    options=$({ sed -n 1p <<<"$help" | grep -oE '(^|[][ |])--?[a-z][a-z0-9-]*' | tr -d '[]| '
               grep -oE '^ +--?[a-z][a-z0-9-]*' <<<"$help" | tr -d ' '; } | sort -u)

    # The value of the option before the cursor: its listed choices, a file or nothing.
    if [[ $prev == -* ]] && grep -qxF -- "$prev" <<<"$options"; then
        local value
        # The help's list of choices where it gives one ("--units km/h|mph|kn"), else the
        # first placeholder ("[--units U]").
        value=$(grep -oE -- "(^|[][ |])$prev[ =][^] ]+" <<<"$help" |
            awk '/\|/ {print; found = 1; exit} NR == 1 {first = $0} END {if (!found) print first}' |
            sed -E 's/^[][ |]?[^ =]+[ =]//')
        if [[ $value == *'|'* ]]; then
            COMPREPLY=($(compgen -W "${value//|/ }" -- "$cur"))
            return
        elif [[ $value == OUT || $value == FILE || $value == FILE_OR_DIR_OR_URL ]]; then
            _filedir
            return
        elif [[ $value == DIR ]]; then
            _filedir -d
            return
        elif [[ -n $value ]]; then
            return  # a number
        fi
    fi

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options --help" -- "$cur"))
        return
    fi

    # Which argument the cursor is on: count the arguments before it, skipping options and
    # the values of those that take one.
    local i n=0 takes
    for ((i = 2; i < cword; i++)); do
        if [[ ${words[i]} == -* ]]; then
            takes=$(grep -oE -- "(^|[][ |])${words[i]%%=*}[ =][^] ]+" <<<"$help" | head -1)
            [[ -n $takes && ${words[i]} != *=* ]] && ((i++))
        else
            ((n++))
        fi
    done
    local kinds
    kinds=($(_droskal_cli_positionals "$help"))
    case ${kinds[n]-} in
        DIR | OUTDIR) _filedir -d ;;
        FILE) _filedir 'm1v|mpeg|mpg' ;;
        '') ;;
        *) _filedir ;;
    esac
}
complete -F _droskal_cli droskal-cli
