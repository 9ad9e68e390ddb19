# bash completion for geminor-cli
_geminor_cli()
{
    local cur prev
    cur="${COMP_WORDS[COMP_CWORD]}"
    prev="${COMP_WORDS[COMP_CWORD-1]}"
    case "$prev" in
        -m|--method) COMPREPLY=($(compgen -W "byte crc32 name zero similar" -- "$cur")); return ;;
        --similarity) COMPREPLY=($(compgen -W "very-high high medium low" -- "$cur")); return ;;
        -x|--exclude) COMPREPLY=($(compgen -d -- "$cur")); return ;;
        -s|--session|--save-session) COMPREPLY=($(compgen -f -X '!*.gmr' -- "$cur") $(compgen -d -- "$cur")); return ;;
        --csv|--html|--json|--apply|-t|--types) COMPREPLY=($(compgen -f -- "$cur")); return ;;
        --move-to|--cache-dir) COMPREPLY=($(compgen -d -- "$cur")); return ;;
        --keep) COMPREPLY=($(compgen -W "first newest oldest shortest-path longest-path shortest-name
            first-location largest-resolution path: not-path:" -- "$cur")); return ;;
        --link) COMPREPLY=($(compgen -W "hard symbolic clone" -- "$cur")); return ;;
        --sort) COMPREPLY=($(compgen -W "found space size copies name folder" -- "$cur")); return ;;
        --reference) COMPREPLY=($(compgen -d -- "$cur")); return ;;
    esac
    if [[ "$cur" == -* ]]; then
        COMPREPLY=($(compgen -W "-m --method --similarity -t --types -n --no-subfolders -x --exclude -H --include-hidden
            --no-protect -q --quiet -0 --null -s --session --save-session --csv --html --json
            --apply --keep --reference --sort --link --undo --journal --no-cache --cache-dir --clear-cache --trash --delete --move-to --dry-run --help --version" -- "$cur"))
    else
        COMPREPLY=($(compgen -d -- "$cur"))
    fi
}
complete -o filenames -F _geminor_cli geminor-cli
