"""Tests of release signing: a PKCS#12 file with its password from a file or
the environment, an external signing command, an RFC 3161 time-stamp server
on the loopback interface, and a signature that must not pass.

Run by CTest (PackagingScripts). PELORIX_TEST_IMAGE names a PE file to sign.
"""
import http.server
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import unittest

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import sign_pe  # noqa: E402

IMAGE = os.environ.get("PELORIX_TEST_IMAGE", "")
PASSWORD = "s3cret pass"


def openssl(*args, cwd):
    subprocess.run(["openssl"] + list(args), cwd=cwd, check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


def make_pki(d):
    """A root, a code-signing certificate in signer.p12 and a time-stamping
    certificate, all issued by the root."""
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", "2",
            "-keyout", "root.key", "-out", "root.pem", "-subj", "/CN=Sign Test Root",
            "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign",
            cwd=d)
    for name, eku in (("sign", "codeSigning"), ("tsa", "critical,timeStamping")):
        openssl("req", "-newkey", "rsa:2048", "-nodes", "-sha256", "-keyout", name + ".key",
                "-out", name + ".csr", "-subj", "/CN=Sign Test %s" % name, cwd=d)
        with open(os.path.join(d, name + ".cnf"), "w") as f:
            f.write("basicConstraints=critical,CA:FALSE\nkeyUsage=critical,digitalSignature\n"
                    "extendedKeyUsage=%s\n" % eku)
        openssl("x509", "-req", "-sha256", "-days", "2", "-in", name + ".csr", "-CA", "root.pem",
                "-CAkey", "root.key", "-set_serial", "5", "-extfile", name + ".cnf",
                "-out", name + ".pem", cwd=d)
    with open(os.path.join(d, "password.txt"), "w") as f:
        f.write(PASSWORD + "\n")
    openssl("pkcs12", "-export", "-inkey", "sign.key", "-in", "sign.pem", "-certfile", "root.pem",
            "-out", "signer.p12", "-passout", "file:password.txt", cwd=d)
    with open(os.path.join(d, "tsa_chain.pem"), "w") as out:
        for name in ("tsa.pem", "root.pem"):
            with open(os.path.join(d, name)) as f:
                out.write(f.read())
    with open(os.path.join(d, "ts.cnf"), "w") as f:
        f.write("[ tsa ]\ndefault_tsa = tsa_config\n[ tsa_config ]\nserial = %s/tsaserial\n"
                "default_policy = 1.2.3.4.1\ndigests = sha256\nsigner_digest = sha256\n"
                "ess_cert_id_chain = no\naccuracy = secs:1\n" % d)


class TimeStampHandler(http.server.BaseHTTPRequestHandler):
    """RFC 3161 over HTTP, answered by `openssl ts -reply`; or garbage."""
    pki = None
    garbage = False

    def do_POST(self):
        query = self.rfile.read(int(self.headers["Content-Length"]))
        if self.garbage:
            reply = b"not a time stamp"
        else:
            tmp = tempfile.mkdtemp()
            try:
                with open(os.path.join(tmp, "q.tsq"), "wb") as f:
                    f.write(query)
                subprocess.run(["openssl", "ts", "-reply", "-config", os.path.join(self.pki, "ts.cnf"),
                                "-queryfile", "q.tsq", "-signer", os.path.join(self.pki, "tsa.pem"),
                                "-inkey", os.path.join(self.pki, "tsa.key"), "-chain",
                                os.path.join(self.pki, "tsa_chain.pem"), "-out", "r.tsr"],
                               cwd=tmp, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                with open(os.path.join(tmp, "r.tsr"), "rb") as f:
                    reply = f.read()
            finally:
                shutil.rmtree(tmp)
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, *args):
        pass


@unittest.skipUnless(IMAGE and os.path.exists(IMAGE), "no image to sign")
class ReleaseSigningTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.pki = tempfile.mkdtemp()
        make_pki(cls.pki)
        with open(os.path.join(cls.pki, "tsaserial"), "w") as f:
            f.write("01\n")
        TimeStampHandler.pki = cls.pki
        cls.server = http.server.HTTPServer(("127.0.0.1", 0), TimeStampHandler)
        cls.url = "http://127.0.0.1:%d/" % cls.server.server_address[1]
        threading.Thread(target=cls.server.serve_forever, daemon=True).start()

    @classmethod
    def tearDownClass(cls):
        cls.server.shutdown()
        shutil.rmtree(cls.pki)

    def setUp(self):
        self.tmp = tempfile.mkdtemp()
        self.out = os.path.join(self.tmp, "signed.exe")
        TimeStampHandler.garbage = False
        os.environ.pop(sign_pe.PASSWORD_ENV, None)

    def tearDown(self):
        shutil.rmtree(self.tmp)
        os.environ.pop(sign_pe.PASSWORD_ENV, None)

    def conf(self, **values):
        conf = dict.fromkeys(sign_pe.KEYS, "")
        conf.update(MODE="pkcs12", PKCS12=os.path.join(self.pki, "signer.p12"), TIME="1767225600",
                    CA=os.path.join(self.pki, "root.pem"), TSA_CA=os.path.join(self.pki, "root.pem"))
        conf.update(values)
        return conf

    def test_each_way_of_signing_gives_a_verified_signature(self):
        command = os.path.join(self.tmp, "signer.sh")
        with open(command, "w") as f:
            # An external signer: signs its last argument in place.
            f.write('#!/bin/sh\nset -e\nosslsigncode sign -h sha256 -pkcs12 "%s" -readpass "%s" '
                    '-in "$1" -out "$1.s" >/dev/null\nmv "$1.s" "$1"\n'
                    % (os.path.join(self.pki, "signer.p12"), os.path.join(self.pki, "password.txt")))
        os.chmod(command, 0o755)
        cases = {
            "password file": (self.conf(PASSWORD_FILE=os.path.join(self.pki, "password.txt")), None),
            "password from the environment": (self.conf(), PASSWORD),
            "external command": (self.conf(MODE="command", COMMAND="sh '%s'" % command), None),
            "time stamp": (self.conf(PASSWORD_FILE=os.path.join(self.pki, "password.txt"),
                                     TIMESTAMP_URL=self.url), None),
        }
        for name, (conf, password) in cases.items():
            with self.subTest(name):
                if password:
                    os.environ[sign_pe.PASSWORD_ENV] = password
                self.assertEqual(sign_pe.sign(conf, IMAGE, self.out), "Sign Test sign")
                report = sign_pe.verify(conf, self.out)
                self.assertEqual("Timestamp is not available" in report, not conf["TIMESTAMP_URL"])
                os.environ.pop(sign_pe.PASSWORD_ENV, None)
                os.remove(self.out)

    def test_a_signature_that_does_not_hold_fails_and_leaves_no_file(self):
        unsigning = os.path.join(self.tmp, "unsigning.sh")
        with open(unsigning, "w") as f:
            f.write("#!/bin/sh\nexit 0\n")  # says it signed, did nothing
        cases = {
            "wrong password": self.conf(),
            "unknown root": self.conf(PASSWORD_FILE=os.path.join(self.pki, "password.txt"),
                                      CA="/etc/ssl/certs/ca-certificates.crt"),
            "command that does not sign": self.conf(MODE="command", COMMAND="sh " + unsigning),
            "time stamp server answers garbage": self.conf(
                PASSWORD_FILE=os.path.join(self.pki, "password.txt"), TIMESTAMP_URL=self.url),
        }
        for name, conf in cases.items():
            with self.subTest(name):
                os.environ[sign_pe.PASSWORD_ENV] = "wrong"
                TimeStampHandler.garbage = bool(conf["TIMESTAMP_URL"])
                with self.assertRaises(sign_pe.SignError):
                    sign_pe.sign(conf, IMAGE, self.out)
                self.assertFalse(os.path.exists(self.out))
                self.assertEqual(os.listdir(self.tmp), ["unsigning.sh"])


if __name__ == "__main__":
    unittest.main()
