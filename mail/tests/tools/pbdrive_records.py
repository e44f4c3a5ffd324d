"""Reads the output of pbdrive, the gateway's test driver: a run of records, each
"<tag> <length>\\n<bytes>\\n". The mail tests (mail/tests/oracle_test.py) and the
docpress oracle test (mail/docpress/tests/pagecast_oracle_test.py) import it.
"""


def records(output: bytes) -> list:
    """The (tag, bytes) pairs of pbdrive's records, in order."""
    found, at = [], 0
    while at < len(output):
        eol = output.index(b"\n", at)
        tag, length = output[at:eol].split(b" ")
        start = eol + 1
        found.append((tag.decode(), output[start:start + int(length)]))
        at = start + int(length) + 1
    return found
