# Bash completion of orvik-cli: its commands, each command's options and their values,
# directories for backups and files for databases and workbooks.
# Installed as share/bash-completion/completions/orvik-cli; for a quick try: source it.

_orvik_cli_options()
{
    local filters="--from --to --type --user --number --remark"
    case $1 in
    backups) echo "--root --add" ;;
    query) echo "$filters --format --bom --sql --language --quiet" ;;
    search) echo "--root --add $filters --format --bom --language --quiet" ;;
    stats) echo "--root --add $filters --by --format --bom --language --quiet" ;;
    export) echo "$filters --output --stats --language --quiet" ;;
    delete) echo "--yes --language" ;;
    sql) echo "--format --bom --quiet" ;;
    check) echo "--quiet" ;;
    esac
}

_orvik_cli()
{
    local commands="backups query search export stats delete sql check help"
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=${COMP_WORDS[COMP_CWORD - 1]}
    COMPREPLY=()

    if ((COMP_CWORD == 1)); then
        mapfile -t COMPREPLY < <(compgen -W "$commands --help --version" -- "$cur")
        return
    fi
    local command=${COMP_WORDS[1]}
    if [[ $command == help || $command == --help || $command == -h ]]; then
        ((COMP_CWORD == 2)) && mapfile -t COMPREPLY < <(compgen -W "$commands" -- "$cur")
        return
    fi

    # Options that take one of a few words.
    local words=""
    case $prev in
    --type) words="all incoming outgoing missed" ;;
    --format) words="tsv csv json" ;;
    --by) words="day week month hour weekday user number type" ;;
    --language) words="zh en tr 0 1 3" ;;
    esac
    if [[ -n $words ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$words" -- "$cur")
        return
    fi

    case $prev in
    --root | --add)
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -d -- "$cur")
        return
        ;;
    --output)
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -f -X '!*.xlsx' -- "$cur"; compgen -d -- "$cur")
        return
        ;;
    --from | --to | --user | --number | --remark)
        return
        ;;
    esac

    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$(_orvik_cli_options "$command") --help" -- "$cur")
        return
    fi
    # The first word after the command that is not an option or an option's value.
    case $command in
    query | export | delete | stats)
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -d -- "$cur")
        ;;
    sql | check)
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -f -X '!*.[mM][dD][bB]' -- "$cur"; compgen -d -- "$cur")
        ;;
    esac
}

complete -F _orvik_cli orvik-cli
