# fish completion for vellssh-cli
#
# The commands and their options are read from "vellssh-cli help", so that they are never out
# of step with the program; profile and tag names come from the store.

function __vellssh_cli_commands
    vellssh-cli help 2>/dev/null | string replace -rf '^  ([a-z][a-z-]*)  +(.*)' '$1\t$2'
end

# The values of the settings that take one of a few.
function __vellssh_cli_setting_values
    switch $argv[1]
        case app_icon_mode
            printf '%s\n' dock menuBar both
        case update_channel
            printf '%s\n' stable beta
        case update_check_interval
            printf '%s\n' 3600 86400 604800 2629800
        case launch_at_login icloud_sync automatically_checks_for_updates
            printf '%s\n' true false
    end
end

# The words after the command that are neither options nor their values.
function __vellssh_cli_operands
    set -l help $argv
    set -l words (commandline -opc)
    set -l skip 0
    for word in $words[3..-1]
        if test $skip -eq 1
            set skip 0
        else if string match -q -- '-*' $word
            if printf '%s\n' $help | string match -rq -- '^  '(string escape --style=regex -- $word)' [A-Z]'
                set skip 1
            end
        else
            echo $word
        end
    end
end

function __vellssh_cli_positional -a verb
    set -l help $argv[2..-1]
    set -l operands (__vellssh_cli_operands $help)
    set -l count (count $operands)
    switch $verb
        case help
            test $count -eq 0; and __vellssh_cli_commands
        case tag
            if test $count -eq 0
                printf '%s\n' list create rename delete add remove
            else if test $count -eq 1; and contains -- $operands[1] rename delete add remove
                vellssh-cli tag list 2>/dev/null | string split -f1 \t
            else if test $count -ge 2; and contains -- $operands[1] add remove
                vellssh-cli list --names 2>/dev/null
            end
        case backup sync
            if test $count -eq 0
                printf '%s\n' folder now
                test $verb = backup; and echo list; or echo status
            else if test $count -eq 1; and test $operands[1] = folder
                echo --off
                __fish_complete_directories (commandline -ct)
            end
        case settings
            if test $count -eq 0
                printf '%s\n' get set
            else if test $count -eq 1
                vellssh-cli settings 2>/dev/null | string split -f1 ' '
            else if test $count -eq 2; and test $operands[1] = set
                __vellssh_cli_setting_values $operands[2]
            end
        case import
            __fish_complete_path (commandline -ct)
        case recover
            vellssh-cli list --names --trash 2>/dev/null
        case '*'
            if string match -q -- '*PROFILE*' $help[1]
                vellssh-cli list --names 2>/dev/null
            end
    end
end

function __vellssh_cli_arguments
    set -l words (commandline -opc)
    set -l verb $words[2]
    set -l help (vellssh-cli help $verb 2>/dev/null); or return
    # The value the option before takes, by the name its help gives it.
    set -l value (printf '%s\n' $help | string match -rg -- '^  '(string escape --style=regex -- $words[-1])' ([A-Z]\S*)')
    switch "$value"
        case NAME
            vellssh-cli tag list 2>/dev/null | string split -f1 \t
            return
        case FILE PATH
            __fish_complete_path (commandline -ct)
            return
        case '?*'
            return
    end
    if string match -q -- '-*' (commandline -ct)
        printf '%s\n' $help | string replace -rf '^  (-\S+)(?: [A-Z]\S*)? +(.*)' '$1\t$2'
        echo --help
        return
    end
    __vellssh_cli_positional $verb $help
end

complete -c vellssh-cli -f
complete -c vellssh-cli -n __fish_use_subcommand -a '(__vellssh_cli_commands)'
complete -c vellssh-cli -n __fish_use_subcommand -l help -d 'Show every command'
complete -c vellssh-cli -n __fish_use_subcommand -l version -d 'Show the version'
complete -c vellssh-cli -n 'not __fish_use_subcommand' -a '(__vellssh_cli_arguments)'
