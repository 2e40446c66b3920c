# bash completion for vellssh-cli
#
# The commands and their options are read from "vellssh-cli help", so that they are never out
# of step with the program; profile and tag names come from the store.

# Fills COMPREPLY with the lines of standard input that start with the word, quoted for the
# shell.
_vellssh_cli_reply()
{
    local word=$1 line
    COMPREPLY=()
    while IFS= read -r line; do
        [[ -n $line && $line == "$word"* ]] && COMPREPLY+=("$(printf '%q' "$line")")
    done
}

_vellssh_cli_profiles()
{
    vellssh-cli list --names "$@" 2>/dev/null
}

# The values of the settings that take one of a few.
_vellssh_cli_setting_values()
{
    case $1 in
    app_icon_mode) printf '%s\n' dock menuBar both ;;
    update_channel) printf '%s\n' stable beta ;;
    update_check_interval) printf '%s\n' 3600 86400 604800 2629800 ;;
    launch_at_login | icloud_sync | automatically_checks_for_updates) printf '%s\n' true false ;;
    esac
}

_vellssh_cli_tags()
{
    vellssh-cli tag list 2>/dev/null | cut -f1
}

# The words after the command that are neither options nor their values.
_vellssh_cli_operands()
{
    local help=$1 i word takes
    for ((i = 2; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if [[ $word == -* ]]; then
            takes=$(awk -v f="$word" '/^  -/ && $1 == f && $2 ~ /^[A-Z]/ { print $2 }' <<<"$help")
            [[ -n $takes ]] && ((i++))
        else
            printf '%s\n' "$word"
        fi
    done
}

_vellssh_cli_positional()
{
    local verb=$1 help=$2 cur=$3 operands count
    mapfile -t operands < <(_vellssh_cli_operands "$help")
    count=${#operands[@]}
    case $verb in
    help)
        ((count == 0)) && _vellssh_cli_reply "$cur" < <(vellssh-cli help 2>/dev/null |
            sed -n 's/^  \([a-z][a-z-]*\)  .*/\1/p')
        return ;;
    tag)
        if ((count == 0)); then
            _vellssh_cli_reply "$cur" < <(printf '%s\n' list create rename delete add remove)
        elif ((count == 1)) && [[ ${operands[0]} =~ ^(rename|delete|add|remove)$ ]]; then
            _vellssh_cli_reply "$cur" < <(_vellssh_cli_tags)
        elif ((count >= 2)) && [[ ${operands[0]} =~ ^(add|remove)$ ]]; then
            _vellssh_cli_reply "$cur" < <(_vellssh_cli_profiles)
        fi
        return ;;
    backup | sync)
        if ((count == 0)); then
            _vellssh_cli_reply "$cur" < <(printf '%s\n' folder now "$([[ $verb == backup ]] &&
                echo list || echo status)")
        elif ((count == 1)) && [[ ${operands[0]} == folder ]]; then
            compopt -o dirnames 2>/dev/null
            _vellssh_cli_reply "$cur" < <(printf '%s\n' --off)
        fi
        return ;;
    settings)
        if ((count == 0)); then
            _vellssh_cli_reply "$cur" < <(printf '%s\n' get set)
        elif ((count == 1)); then
            _vellssh_cli_reply "$cur" < <(vellssh-cli settings 2>/dev/null | cut -d' ' -f1)
        elif ((count == 2)) && [[ ${operands[0]} == set ]]; then
            _vellssh_cli_reply "$cur" < <(_vellssh_cli_setting_values "${operands[1]}")
        fi
        return ;;
    import)
        compopt -o default 2>/dev/null
        COMPREPLY=()
        return ;;
    recover)
        _vellssh_cli_reply "$cur" < <(_vellssh_cli_profiles --trash)
        return ;;
    esac
    if [[ $(head -n1 <<<"$help") == *PROFILE* ]]; then
        _vellssh_cli_reply "$cur" < <(_vellssh_cli_profiles)
    fi
}

_vellssh_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    COMPREPLY=()
    if ((COMP_CWORD == 1)); then
        _vellssh_cli_reply "$cur" < <(vellssh-cli help 2>/dev/null |
            sed -n 's/^  \([a-z][a-z-]*\)  .*/\1/p'
            printf '%s\n' --help --version)
        return
    fi
    local verb=${COMP_WORDS[1]} help value
    help=$(vellssh-cli help "$verb" 2>/dev/null) || return
    # The value the option before takes, by the name its help gives it.
    value=$(awk -v f="$prev" '/^  -/ && $1 == f && $2 ~ /^[A-Z]/ { print $2 }' <<<"$help")
    case $value in
    NAME)
        _vellssh_cli_reply "$cur" < <(_vellssh_cli_tags)
        return ;;
    FILE | PATH)
        compopt -o default 2>/dev/null
        return ;;
    ?*)
        return ;;
    esac
    if [[ $cur == -* ]]; then
        _vellssh_cli_reply "$cur" < <(awk '/^  -/ && !seen[$1]++ { print $1 }' <<<"$help"; echo --help)
        return
    fi
    _vellssh_cli_positional "$verb" "$help" "$cur"
}

complete -F _vellssh_cli vellssh-cli
