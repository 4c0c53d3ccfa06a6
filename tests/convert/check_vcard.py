#!/usr/bin/python3
"""Reads vCard 3.0 text (a file, or standard input) with python3-vobject,
an independent reader, and prints how many cards it holds. Any card that
reader cannot parse fails the check (exit 1, the reason on stderr)."""
import sys

import vobject


def main():
    if len(sys.argv) > 2:
        print("usage: check_vcard.py [FILE]", file=sys.stderr)
        return 2
    try:
        if len(sys.argv) == 2:
            with open(sys.argv[1], encoding="utf-8") as f:
                text = f.read()
        else:
            text = sys.stdin.read()
    except (OSError, UnicodeDecodeError) as e:
        print("check_vcard: cannot read input: %s" % e, file=sys.stderr)
        return 1
    count = 0
    try:
        for card in vobject.readComponents(text, validate=False):
            if card.name.upper() != "VCARD":
                print("check_vcard: component %d is %s, not VCARD" % (count + 1, card.name),
                      file=sys.stderr)
                return 1
            # Reading a card's lines decodes them: values, parameters, nested
            # AGENT text.
            for line in card.getChildren():
                _ = line.value
            count += 1
    except Exception as e:  # vobject raises several kinds for bad input
        print("check_vcard: card %d does not parse: %s" % (count + 1, e), file=sys.stderr)
        return 1
    print(count)
    return 0


if __name__ == "__main__":
    sys.exit(main())
