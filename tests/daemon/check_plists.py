#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Reads the two property lists back out of the built executable with objcopy and checks
their keys, order and values with a real plist parser.

usage: check_plists.py EXECUTABLE HELPER_LABEL CLIENT_IDENTIFIER SIGNING_ORGANISATION
"""
import plistlib
import subprocess
import sys
import tempfile
import os


def dump_section(executable, section, directory):
    out = os.path.join(directory, section)
    scratch = os.path.join(directory, "scratch")
    subprocess.run(["objcopy", "--dump-section", f"{section}={out}", executable, scratch],
                   check=True)
    with open(out, "rb") as f:
        data = f.read()
    # A real XML plist, not merely something plistlib can guess at.
    assert data.startswith(b'<?xml version="1.0" encoding="UTF-8"?>'), data[:60]
    return plistlib.loads(data, fmt=plistlib.FMT_XML)


def main():
    executable, label, client, organisation = sys.argv[1:5]
    with tempfile.TemporaryDirectory() as directory:
        info = dump_section(executable, "__info_plist", directory)
        launchd = dump_section(executable, "__launchd_plist", directory)

    assert list(info) == ["CFBundleIdentifier", "CFBundleInfoDictionaryVersion",
                          "CFBundleVersion", "CFBundleName", "SMAuthorizedClients"], list(info)
    assert info["CFBundleIdentifier"] == label
    assert info["CFBundleInfoDictionaryVersion"] == "6.0"
    assert info["CFBundleVersion"] == "1.0"
    assert info["CFBundleName"] == "ZelHelper"
    assert info["SMAuthorizedClients"] == [
        f'identifier "{client}" and certificate leaf[subject.O] = "{organisation}"'
    ], info["SMAuthorizedClients"]

    assert list(launchd) == ["Label", "MachServices"], list(launchd)
    assert launchd["Label"] == label
    assert launchd["Label"] == info["CFBundleIdentifier"]
    assert launchd["MachServices"] == {label + ".mach": True}, launchd["MachServices"]
    assert label == client + "-Helper"
    print("property lists: ok")


if __name__ == "__main__":
    main()
