# Sourced: corvel_prefix_fonts gives the prefix in WINEPREFIX the fonts a Japanese system shows.
corvel_prefix_fonts() {
    local face
    # "MS UI Gothic" (also what "MS Shell Dlg" is on a Japanese system) is not here: IPA P Gothic
    # stands in, made to the metrics of MS P Gothic, whose letters and digits MS UI Gothic shares,
    # so that dialog units, line heights and label widths come out close to Windows'.
    for face in 'MS UI Gothic' 'MS Shell Dlg'; do
        wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d 'IPAPGothic' /f \
            </dev/null >/dev/null 2>&1
    done
    # Wine's own fonts (fonts-wine), Marlett among them, which draws the symbols of the caption
    # buttons; Debian's Wine does not look in their folder by itself.
    wine reg add 'HKCU\Software\Wine\Fonts' /v Path /d 'Z:\usr\share\wine\fonts' /f </dev/null >/dev/null 2>&1
}
