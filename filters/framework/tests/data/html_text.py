#!/usr/bin/env python3
"""Independent text of an HTML file for the reader tests: Python's html.parser, the
charset given on the command line, no text from head, title, script or style; prints the
words (split at blanks and block tags) separated by single blanks, so only the words and their order are compared."""
import html.parser
import sys

SKIP = {"head", "title", "script", "style", "noscript", "template"}
# Tags that end a word: blocks, line breaks and table cells.
BREAKS = {"p", "div", "h1", "h2", "h3", "h4", "h5", "h6", "ul", "ol", "li", "dl", "dt", "dd", "br",
          "blockquote", "pre", "address", "center", "hr", "table", "caption", "tr", "td", "th", "body"}


class Text(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.skip = 0
        self.text = []

    def handle_starttag(self, tag, attrs):
        if tag in SKIP:
            self.skip += 1
        if tag in BREAKS:
            self.text.append(" ")

    def handle_endtag(self, tag):
        if tag in SKIP and self.skip:
            self.skip -= 1
        if tag in BREAKS:
            self.text.append(" ")

    def handle_data(self, data):
        if not self.skip:
            self.text.append(data)


def main():
    data = open(sys.argv[1], "rb").read().decode(sys.argv[2])
    p = Text()
    p.feed(data)
    p.close()
    sys.stdout.write(" ".join("".join(p.text).split()))


main()
