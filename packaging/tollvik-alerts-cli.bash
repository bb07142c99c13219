# bash completion for tollvik-alerts-cli: commands, chk and device subcommands, each command's
# options and file names.
_tollvik_alerts_cli()
{
    local cur prev words cword
    _init_completion || return

    local command=${words[1]} sub=""
    [[ $command == chk || $command == device ]] && sub=${words[2]}

    case $prev in
        -o | --output | --texts)
            _filedir
            return
            ;;
        --backup)
            _filedir -d
            return
            ;;
        --slot | --item | --like | --rate | --channels | --voice)
            # a value of the user's own: N=SOUND, N=TEXT, ARCHIVE:SLOT, a number, a voice
            [[ $prev == --slot || $prev == --like ]] && _filedir
            return
            ;;
    esac

    if ((cword == 1)); then
        COMPREPLY=($(compgen -W 'identify patch chk convert speak device --help --version' -- "$cur"))
        return
    fi
    if [[ $command == chk ]] && ((cword == 2)); then
        COMPREPLY=($(compgen -W 'list extract build join --help' -- "$cur"))
        return
    fi
    if [[ $command == device ]] && ((cword == 2)); then
        COMPREPLY=($(compgen -W 'scan put restore --help' -- "$cur"))
        return
    fi

    local options="--help"
    case $command:$sub in
        identify:*) ;;
        patch:*) options+=" -o --output --texts --item" ;;
        chk:list | chk:extract) options+=" --all" ;;
        chk:build) options+=" -o --output --slot" ;;
        chk:join) options+=" -o --output" ;;
        convert:*) options+=" --like --rate --channels" ;;
        speak:*) options+=" --voice --like --rate --channels" ;;
        device:scan) ;;
        device:put | device:restore) options+=" --backup" ;;
        *) return ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi
    if [[ $command:$sub == device:scan ]]; then
        _filedir -d
        return
    fi
    if [[ $command:$sub == chk:join || $command:$sub == chk:extract ]]; then
        # the folder argument of join and the target folder of extract
        if [[ $sub == join ]] || ((cword > 3)); then
            _filedir -d
            return
        fi
    fi
    _filedir
}
complete -F _tollvik_alerts_cli tollvik-alerts-cli
