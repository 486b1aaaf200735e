# bash completion for corvane-cli: options, commands, their words and the serial ports.
_corvane_cli() {
    local cur prev words cword
    _init_completion 2>/dev/null || {
        cur=${COMP_WORDS[COMP_CWORD]}
        prev=${COMP_WORDS[COMP_CWORD - 1]}
        words=("${COMP_WORDS[@]}")
        cword=$COMP_CWORD
    }
    local commands="ports search info switch resolution audio vga auto-adjust scaler edid beep factory-reset config firmware"
    case $prev in
        --port)
            local ports
            ports=$(cd /sys/class/tty 2>/dev/null && for d in *; do
                [ -e "$d/device/driver" ] && echo "$d"; done)
            COMPREPLY=($(compgen -W "$ports" -- "$cur") $(compgen -f -- "$cur"))
            return ;;
        --host) return ;;
    esac
    local command="" i
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            --port | --host) ((i++)) ;;
            -*) ;;
            *) command=${words[i]}; break ;;
        esac
    done
    case $command in
        "") COMPREPLY=($(compgen -W "--port --host --json --quiet --help $commands" -- "$cur")) ;;
        switch) COMPREPLY=($(compgen -W "hdmi1 hdmi2 hdmi3 hdmi4 dvi vga1 vga2 cv" -- "$cur")) ;;
        resolution) COMPREPLY=($(compgen -W "1920x1200 1080p 1360x768 720p 1024x768" -- "$cur")) ;;
        audio) COMPREPLY=($(compgen -W "int ext" -- "$cur")) ;;
        vga) COMPREPLY=($(compgen -W "ypbpr rgbhv" -- "$cur")) ;;
        beep) COMPREPLY=($(compgen -W "on off" -- "$cur")) ;;
        factory-reset) COMPREPLY=($(compgen -W "--yes" -- "$cur")) ;;
        search) COMPREPLY=($(compgen -W "--wait" -- "$cur")) ;;
        config) COMPREPLY=($(compgen -W "--mac --dhcp --static --new-mac" -- "$cur")) ;;
        edid) COMPREPLY=($(compgen -W "preset copy --help" -- "$cur")) ;;
        firmware) COMPREPLY=($(compgen -f -X '!*.fw' -- "$cur") $(compgen -d -- "$cur")) ;;
    esac
}
complete -F _corvane_cli corvane-cli
