#!/usr/bin/env python3
"""Writes an installer signed after its package was appended, so that the Authenticode signature
follows the archive: setup.exe, a small sealed plug-in package, then the signature. The signature
carries a hundred extra certificates: at some 80 KB it pushes the archive's end record out of the
last 64 KB of the file, where a plain search from the file's end would look for it.

Usage: make_signed_installer.py OUTPUT_DIR SETUP_EXE
Needs openssl and osslsigncode; without them nothing is signed (and the test says so).
"""
import os
import shutil
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True  # no cache files beside the sources
from make_fixtures import RawZip, sealed, write  # noqa: E402

SETTING = ("[options]\r\nInstallMode=1\r\nAppName=署名付き\r\n"
           "DefaultInstallDir=($MARLETHDIR)\r\n").encode("cp932")
FILES = [("plugin.dll", b"plug-in"), ("data/表.txt", "日本語".encode("cp932"))]
EXTRA_CERTIFICATES = 100


def sign_with_large_signature(unsigned, signed):
    if not shutil.which("openssl") or not shutil.which("osslsigncode"):
        print("make_signed_installer.py: openssl or osslsigncode missing, nothing signed",
              file=sys.stderr)
        return
    quiet = {"check": True, "stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}
    with tempfile.TemporaryDirectory() as work:
        def certificate(name):
            key, cert = os.path.join(work, name + ".key"), os.path.join(work, name + ".pem")
            subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
                            key, "-out", cert, "-days", "3650", "-subj", "/CN=" + name], **quiet)
            return key, cert
        key, cert = certificate("Package Test Signer")
        _, extra = certificate("Package Test Extra")
        extras = os.path.join(work, "extras.pem")
        with open(extra) as f, open(extras, "w") as out:
            out.write(f.read() * EXTRA_CERTIFICATES)
        if os.path.exists(signed):
            os.remove(signed)
        subprocess.run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-ac", extras,
                        "-in", unsigned, "-out", signed], **quiet)


def main():
    out, setup = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    z = RawZip()
    for name, content in FILES:
        z.add(name, content, method=8)
    z.add("$preextractdir$/_$$$setting$$$_.ini", SETTING, method=8)
    with open(setup, "rb") as f:
        write(out, "unsigned-setup.exe", sealed(f.read(), z))
    sign_with_large_signature(os.path.join(out, "unsigned-setup.exe"),
                              os.path.join(out, "signed-setup.exe"))


if __name__ == "__main__":
    main()
