#!/usr/bin/env python3
"""Signs a PE file the way the build is configured to (Authenticode, SHA-256),
then verifies the result and fails when it does not verify.

  sign_pe.py --conf signing.conf IN OUT [--description TEXT]
  sign_pe.py --conf signing.conf --signer FILE     (prints the signer's name)

signing.conf holds one KEY=value per line (written when the build is
configured; see signing.cmake):
  MODE          test | pkcs12 | command
  CERTS, KEY    PEM chain and key (test)
  PKCS12        the certificate and key (pkcs12)
  PASSWORD_FILE file holding the PKCS#12 password; without it the password
                is read from the environment variable PELORIX_SIGN_PASSWORD
  COMMAND       external signing command (command); the file to sign is
                appended as its last argument and must be signed in place
  TIMESTAMP_URL RFC 3161 time-stamp server (optional)
  TIME          signing time written into the signature (Unix seconds)
  CA            roots the signature must chain to
  TSA_CA        roots of the time-stamp server (with TIMESTAMP_URL)
A password is never put on a command line: osslsigncode reads it from the
file or from its standard input.
"""
import argparse
import os
import re
import shlex
import shutil
import subprocess
import sys

PASSWORD_ENV = "PELORIX_SIGN_PASSWORD"
KEYS = ("MODE", "CERTS", "KEY", "PKCS12", "PASSWORD_FILE", "COMMAND", "TIMESTAMP_URL",
        "TIME", "CA", "TSA_CA")


class SignError(Exception):
    pass


def read_conf(path):
    conf = dict.fromkeys(KEYS, "")
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\r\n")
            if not line or line.startswith("#"):
                continue
            key, sep, value = line.partition("=")
            if not sep or key not in KEYS:
                raise SignError("%s: unknown line %r" % (path, line))
            conf[key] = value
    if conf["MODE"] not in ("test", "pkcs12", "command"):
        raise SignError("%s: MODE must be test, pkcs12 or command" % path)
    return conf


def _run(args, stdin=None, env=None):
    result = subprocess.run(args, input=stdin, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            env=env)
    return result.returncode, result.stdout.decode(errors="replace")


def _osslsigncode_sign(conf, src, dst, description):
    args = ["osslsigncode", "sign", "-h", "sha256", "-n", description]
    stdin = None
    if conf["MODE"] == "test":
        args += ["-certs", conf["CERTS"], "-key", conf["KEY"]]
    else:
        args += ["-pkcs12", conf["PKCS12"]]
        if conf["PASSWORD_FILE"]:
            args += ["-readpass", conf["PASSWORD_FILE"]]
        elif PASSWORD_ENV in os.environ:
            args += ["-readpass", "-"]
            stdin = os.environ[PASSWORD_ENV].encode()
    if conf["TIME"]:
        args += ["-time", conf["TIME"]]
    if conf["TIMESTAMP_URL"]:
        args += ["-ts", conf["TIMESTAMP_URL"]]
    code, text = _run(args + ["-in", src, "-out", dst], stdin=stdin)
    if code != 0:
        raise SignError("osslsigncode could not sign %s:\n%s" % (src, text))


def _command_sign(conf, path):
    env = dict(os.environ)
    if conf["TIMESTAMP_URL"]:
        env["PELORIX_TIMESTAMP_URL"] = conf["TIMESTAMP_URL"]
    command = shlex.split(conf["COMMAND"]) + [path]
    try:
        code, text = _run(command, env=env)
    except OSError as e:
        raise SignError("the signing command %s could not run: %s" % (command[0], e))
    if code != 0:
        raise SignError("the signing command failed with %d on %s:\n%s" % (code, path, text))


def verify(conf, path):
    """osslsigncode's report on `path`; raises SignError unless it verifies."""
    args = ["osslsigncode", "verify", "-CAfile", conf["CA"]]
    if conf["TIMESTAMP_URL"] and conf["TSA_CA"]:
        args += ["-TSA-CAfile", conf["TSA_CA"]]
    code, text = _run(args + ["-in", path])
    if code != 0 or "Signature verification: ok" not in text:
        raise SignError("the signature of %s does not verify against %s:\n%s"
                        % (path, conf["CA"], text))
    if conf["TIMESTAMP_URL"] and "Timestamp is not available" in text:
        raise SignError("%s carries no time stamp from %s" % (path, conf["TIMESTAMP_URL"]))
    return text


def signer_name(report):
    """The name Windows shows for the signer (its common name) in a verify report."""
    match = re.search(r"Signer's certificate:.*?Signer #0:\s*Subject:\s*(\S[^\n]*)", report, re.S)
    if not match:
        raise SignError("no signer in the verification report")
    cn = re.search(r"(?:^|/)CN=([^/]+)", match.group(1).strip())
    if not cn:
        raise SignError("the signer %s has no common name" % match.group(1).strip())
    return cn.group(1)


def sign(conf, src, dst, description="Pelorix"):
    """Signs a copy of `src` into `dst` and verifies it; returns the signer's name."""
    os.makedirs(os.path.dirname(os.path.abspath(dst)), exist_ok=True)
    tmp = "%s.signing.%d" % (dst, os.getpid())
    try:
        if conf["MODE"] == "command":
            shutil.copyfile(src, tmp)
            _command_sign(conf, tmp)
        else:
            _osslsigncode_sign(conf, src, tmp, description)
        name = signer_name(verify(conf, tmp))
        os.replace(tmp, dst)
    finally:
        if os.path.exists(tmp):
            os.remove(tmp)
    return name


def describe(conf, name):
    if conf["MODE"] == "test":
        return "%s (built-in TEST certificate: for development only)" % name
    return name


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--conf", required=True)
    parser.add_argument("--description", default="Pelorix")
    parser.add_argument("--signer", metavar="FILE", help="print the signer of a signed file")
    parser.add_argument("files", nargs="*", metavar="IN OUT")
    args = parser.parse_args(argv)
    try:
        conf = read_conf(args.conf)
        if args.signer:
            print(signer_name(verify(conf, args.signer)))
            return 0
        if len(args.files) != 2:
            parser.error("give IN and OUT")
        name = sign(conf, args.files[0], args.files[1], args.description)
        print("signed %s: %s" % (os.path.basename(args.files[1]), describe(conf, name)))
        return 0
    except (SignError, OSError) as e:
        sys.stderr.write("sign_pe: %s\n" % e)
        return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
