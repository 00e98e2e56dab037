# bash completion for plim
_plim() {
    local cur prev words cword
    _init_completion 2>/dev/null || {
        cur=${COMP_WORDS[COMP_CWORD]}
        prev=${COMP_WORDS[COMP_CWORD-1]}
        words=("${COMP_WORDS[@]}")
        cword=$COMP_CWORD
    }
    local commands="capture clip notes sweep later keys settings quit add list due when done undone remind skip stop delete path merge"

    if [[ $prev == --file ]]; then
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
        return
    fi

    # The first word that is neither an option nor the path after --file is the command.
    local i command=""
    for ((i = 1; i < cword; i++)); do
        if [[ ${words[i]} == --file ]]; then
            ((i++))
            continue
        fi
        if [[ ${words[i]} != -* ]]; then
            command=${words[i]}
            break
        fi
    done

    case $command in
    "")
        if [[ $cur == -* ]]; then
            mapfile -t COMPREPLY < <(compgen -W "--background --file --help --version" -- "$cur")
        else
            mapfile -t COMPREPLY < <(compgen -W "$commands" -- "$cur")
        fi
        ;;
    add)
        [[ $cur == -* ]] && mapfile -t COMPREPLY < <(compgen -W "--remind" -- "$cur")
        ;;
    list | due)
        mapfile -t COMPREPLY < <(compgen -W "--json" -- "$cur")
        ;;
    merge)
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
        ;;
    esac
}
complete -F _plim plim
