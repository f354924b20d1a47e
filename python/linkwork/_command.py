"""The ``linkwork`` command of an installed wheel: runs the bundled binary."""

import os
import sys


def main():
    binary = os.path.join(os.path.dirname(os.path.abspath(__file__)), "bin", "linkwork")
    if not os.access(binary, os.X_OK):
        sys.stderr.write(f"linkwork: the command is not bundled with this package ({binary} is missing)\n")
        return 2
    os.execv(binary, [binary, *sys.argv[1:]])
