# bash completion for charlib-cli
_charlib_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    case $prev in
        -e|--encoding) COMPREPLY=($(compgen -W 'gbk gb18030 utf-8 utf-16le utf-16be auto' -- "$cur")); return ;;
        --newline) COMPREPLY=($(compgen -W 'legacy any' -- "$cur")); return ;;
        --output-encoding) COMPREPLY=($(compgen -W 'gbk gb18030 utf-8' -- "$cur")); return ;;
        --order) COMPREPLY=($(compgen -W 'first code freq' -- "$cur")); return ;;
        -f|--format) COMPREPLY=($(compgen -W 'text counts tbl unicode-range json where' -- "$cur")); return ;;
        -t|--source-format) COMPREPLY=($(compgen -W 'lines auto po json csv tsv srt vtt xliff android strings resx yaml html properties' -- "$cur")); return ;;
        --markup) COMPREPLY=($(compgen -W 'keep strip' -- "$cur")); return ;;
        --atlas-format) COMPREPLY=($(compgen -W 'text xml json binary' -- "$cur")); return ;;
        --add-set) COMPREPLY=($(compgen -W 'ascii digits latin1 cjk-punct gb2312-1 gb2312 gbk' -- "$cur")); return ;;
        --engine) COMPREPLY=($(compgen -W 'godot pixi phaser three libgdx cocos unity' -- "$cur")); return ;;
        --page) COMPREPLY=($(compgen -W 'auto 512x512 1024x1024 2048x2048' -- "$cur")); return ;;
        --web)
            compopt -o filenames
            COMPREPLY=($(compgen -d -- "$cur"))
            return ;;
        -m|--marker|-n|--offset|--min-count|--tbl-start|--glob|--iglob|--face|--size|--padding|--layout-features|--key|--column|--key-column|--only|--add|--locations|--spread|--grid|--grid-columns|--chunk-size|--family) return ;;
        -o|--output|--exclude|--add-file|--font|--subset|--atlas|--preview)
            compopt -o filenames
            COMPREPLY=($(compgen -f -- "$cur"))
            return ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '-m --marker -n --offset -r --recursive --glob --iglob --hidden -e --encoding
            --newline -k --keep-going --strict -t --source-format --markup --key --column --key-column --xliff-source
            --exclude --only --no-ascii --min-count --order -s --sort --add --add-file --add-set -f --format --tbl-start
            --locations -o --output --output-encoding --replace-unmappable --report -h --help --version --font
            --face --subset --layout-features --require-all --missing-only --atlas --atlas-format --engine --no-kerning --size --padding --page --mono --sdf --spread
            --grid --grid-columns --preview --web --chunk-size --web-all --family' -- "$cur"))
        return
    fi
    compopt -o filenames
    COMPREPLY=($(compgen -f -- "$cur"))
}
complete -F _charlib_cli charlib-cli
