#!/usr/bin/env python3
"""Writes cp950.rtf, a small RTF on the Traditional Chinese code page (\\ansicpg950, a
font of character set 136) whose Chinese text is Big5 bytes in \\'hh escapes and no
\\u forms, as older Chinese word processors write it; LibreOffice writes only \\u
forms. Python's cp950 codec makes the bytes. Run once; the output is committed.
Usage: make_cp950_rtf.py OUTPUT_DIR"""
import os
import sys

PARAGRAPHS = [
    "中文測試 Big5 範圍",
    "全文檢索系統 Quillmere 郵件附件",
    "Mixed 標題 text 與 numbers 2024",
]


def escape(text: str) -> str:
    out = []
    for ch in text:
        if ord(ch) < 0x80:
            out.append("\\" + ch if ch in "\\{}" else ch)
        else:
            out.append("".join("\\'%02x" % b for b in ch.encode("cp950")))
    return "".join(out)


def main() -> None:
    body = "".join("\\pard\\plain\\f1 %s\\par\n" % escape(p) for p in PARAGRAPHS)
    rtf = ("{\\rtf1\\ansi\\ansicpg950\\deff0{\\fonttbl{\\f0\\froman\\fcharset0 Times New Roman;}"
           "{\\f1\\fnil\\fcharset136 PMingLiU;}}\n" + body + "}\n")
    with open(os.path.join(sys.argv[1], "cp950.rtf"), "w", encoding="ascii", newline="\n") as f:
        f.write(rtf)


if __name__ == "__main__":
    main()
