#!/usr/bin/env python3
"""An independent reader and writer of ".qmbackup" files (Python's cryptography
package), checked against our backup code both ways through backup_driver.

Layout: "QMBK" | 1 | salt 16 | nonce 12 | ChaCha20-Poly1305(JSON payload) | tag 16,
key = PBKDF2-HMAC-SHA512(password, salt, 100000 rounds, 32 bytes). Inside, the
seed and phrase are sealed the same way under the wallet's own salt, next to
the check value SHA-256(password | salt).

  qmbackup.py <backup_driver>           run the checks
  qmbackup.py --golden <out-file>       write the fixed golden file
"""

import base64
import datetime
import hashlib
import json
import os
import re
import subprocess
import sys
import tempfile
import uuid

from cryptography.hazmat.primitives import hashes
from cryptography.hazmat.primitives.ciphers.aead import ChaCha20Poly1305
from cryptography.hazmat.primitives.kdf.pbkdf2 import PBKDF2HMAC

ROUNDS = 100_000
WORDS = ["legal", "winner", "thank", "year", "wave", "sausage",
         "worth", "useful", "legal", "winner", "thank", "yellow"]
TOKENS = [
    {"contractAddress": "0xA0b86991c6218b36c1d19D4a2e9Eb0cE3606eB48", "symbol": "USDC",
     "name": "USD Coin", "decimals": 6, "chain": "ethereum"},
    {"contractAddress": "0x912CE59144191C1204E64559FE8253a0e49E6548", "symbol": "ARB",
     "name": "Arbitrum", "decimals": 18, "chain": "arbitrum"},
    {"contractAddress": "0xc2132D05D31c914a87C6611C10748AEb04B58e8F", "symbol": "USDT",
     "name": "Tether USD", "decimals": 6, "chain": "polygon"},
]
GOLDEN_PASSWORD = "correct horse battery staple"


def derive(password, salt):
    kdf = PBKDF2HMAC(algorithm=hashes.SHA512(), length=32, salt=salt, iterations=ROUNDS)
    return kdf.derive(password.encode("utf-8"))


def seal(key, plaintext, nonce=None):
    nonce = nonce if nonce is not None else os.urandom(12)
    return nonce + ChaCha20Poly1305(key).encrypt(nonce, plaintext, None)


def open_box(key, box):
    return ChaCha20Poly1305(key).decrypt(box[:12], box[12:], None)


def b64(data):
    return base64.b64encode(data).decode("ascii")


def unb64(text):
    return base64.b64decode(text, validate=True)


def make_payload(password, seed, wallet, rand=os.urandom, words=WORDS, tokens=None,
                 theme="Dollar Green"):
    salt = rand(16)
    key = derive(password, salt)
    payload = {
        "theme": theme,
        "version": 1,
        "wallet": wallet,
        "salt": b64(salt),
        "seed": b64(seal(key, seed, rand(12))),
        "verifier": b64(hashlib.sha256(password.encode("utf-8") + salt).digest()),
        "createdAt": "2025-02-01T12:00:00Z",
        "tokens": tokens if tokens is not None else {"ethereum": TOKENS[:1], "polygon": TOKENS[2:]},
        "somethingNewer": {"ignored": True},
    }
    if words is not None:
        payload["mnemonic"] = b64(seal(key, " ".join(words).encode("utf-8"), rand(12)))
    if theme is None:
        del payload["theme"]
    return payload


def write_file(payload, password, rand=os.urandom, version=1):
    salt = rand(16)
    text = json.dumps(payload, separators=(",", ":")).encode("utf-8")
    return b"QMBK" + bytes([version]) + salt + seal(derive(password, salt), text, rand(12))


def read_file(data, password):
    assert len(data) >= 22 and data[:4] == b"QMBK", "bad header"
    assert data[4] == 1, "bad version"
    return json.loads(open_box(derive(password, data[5:21]), data[21:]))


def golden_file():
    """Fixed salts and nonces: the same bytes every time, kept as a fixture."""
    counter = [0]

    def rand(n):
        counter[0] += 1
        return hashlib.sha256(b"quillmark golden %d" % counter[0]).digest()[:n]

    seed = hashlib.sha512(b"quillmark golden seed").digest()
    wallet = {"id": "5B0F4E5A-3C2D-4E1F-9A8B-7C6D5E4F3A2B", "name": "Quillmark",
              "createdAt": "2025-01-31T09:30:00Z", "bitcoinAccountCount": 1,
              "ethereumAccountCount": 1, "btcAddressCount": 7}
    return write_file(make_payload(GOLDEN_PASSWORD, seed, wallet, rand), GOLDEN_PASSWORD, rand)


# Seconds from 2001-01-01 UTC, as the stored record keeps its date.
REFERENCE_DATE = datetime.datetime(2001, 1, 1, tzinfo=datetime.timezone.utc)


def stored_form(wallet):
    """The stored record for a payload's wallet object: the same keys, the date in seconds."""
    when = datetime.datetime.strptime(wallet["createdAt"], "%Y-%m-%dT%H:%M:%SZ")
    seconds = (when.replace(tzinfo=datetime.timezone.utc) - REFERENCE_DATE).total_seconds()
    return dict(wallet, createdAt=seconds)


def driver_restore(driver, folder, password, path):
    out = subprocess.run([driver, "restore", folder, password, path], check=True,
                         capture_output=True, text=True, timeout=60).stdout
    return json.loads(out)


def check(condition, message):
    if not condition:
        raise AssertionError(message)


# Keys of the stored record that the wallet type does not read; they must survive the trip.
EXTRA_KEYS = {"btcAddressIndices": {"indices": [0, 1, 2, 5, 6, 7, 8, 10, 11], "next": 12},
              "laterKey": [{"a": None, "b": -1.5}, "ü", 18446744073709551615]}


def python_file_restores_here(driver, work):
    password = "pässwörd 🔑"
    seed = os.urandom(64)
    wallet = {"id": str(uuid.uuid4()).upper(), "name": "Quillmark",
              "createdAt": "2025-01-31T09:30:00Z", "bitcoinAccountCount": 1,
              "ethereumAccountCount": 2, "btcAddressCount": 9}
    path = os.path.join(work, "python.qmbackup")
    with open(path, "wb") as f:
        f.write(write_file(make_payload(password, seed, dict(wallet, **EXTRA_KEYS)), password))
    report = driver_restore(driver, os.path.join(work, "restore"), password, path)
    check("error" not in report, f"restore failed: {report}")
    check(report["wallet"] == wallet, f"wallet {report['wallet']} != {wallet}")
    expected = stored_form(dict(wallet, **EXTRA_KEYS))
    check(report["record"] == expected, f"record {report['record']} != {expected}")
    check(bytes.fromhex(report["seed"]) == seed, "seed differs")
    check(report["words"] == WORDS, "words differ")
    check(report["tokens"] == {"ethereum": TOKENS[:1], "polygon": TOKENS[2:]}, "tokens differ")
    check(report["theme"] == "Dollar Green", "theme differs")


def our_file_opens_here(driver, work):
    password = "hunter2 ünïcode"
    seed = os.urandom(64)
    wallet = {"id": str(uuid.uuid4()).upper(), "name": "Quillmark",
              "createdAt": "2024-12-24T18:00:00Z", "bitcoinAccountCount": 1,
              "ethereumAccountCount": 1, "btcAddressCount": 5}
    solana = {"contractAddress": "EPjFWdd5AufqSSqeM2qN1xzybapC8G4wEGGkZwyTDt1v",
              "symbol": "USDC", "name": "USD Coin", "decimals": 6, "chain": "solana"}
    wallet.update(EXTRA_KEYS)
    contents = {"seed": seed.hex(), "words": WORDS, "wallet": wallet,
            "tokens": TOKENS + [solana], "theme": "Apple Blue"}
    contents_path = os.path.join(work, "contents.json")
    out_path = os.path.join(work, "ours.qmbackup")
    with open(contents_path, "w") as f:
        json.dump(contents, f)
    subprocess.run([driver, "export", os.path.join(work, "export"), password, contents_path,
                    out_path], check=True, timeout=60)
    data = open(out_path, "rb").read()
    check(data[:5] == b"QMBK\x01", "header")
    payload = read_file(data, password)
    check(payload["version"] == 1, "version")
    check(re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ", payload["createdAt"]), "createdAt")
    check(payload["wallet"] == wallet, f"wallet {payload['wallet']}")
    salt = unb64(payload["salt"])
    check(len(salt) == 16, "salt length")
    check(unb64(payload["verifier"]) == hashlib.sha256(password.encode() + salt).digest(),
          "verifier")
    key = derive(password, salt)
    check(open_box(key, unb64(payload["seed"])) == seed, "seed")
    check(open_box(key, unb64(payload["mnemonic"])).decode() == " ".join(WORDS), "phrase")
    check(payload["tokens"] == {"ethereum": TOKENS[:1], "arbitrum": TOKENS[1:2],
                                "polygon": TOKENS[2:]}, f"tokens {payload['tokens']}")
    check(payload["theme"] == "Apple Blue", "theme")


def hostile_files_are_refused(driver, work):
    password = "pw"
    wallet = {"id": "../../../.bashrc", "name": "Quillmark", "createdAt": "2025-01-31T09:30:00Z",
              "bitcoinAccountCount": 1, "ethereumAccountCount": 1}
    good = dict(wallet, id=str(uuid.uuid4()))
    cases = [
        (write_file(make_payload(password, os.urandom(64), wallet), password),
         "Backup data is corrupted"),
        (write_file(make_payload(password, os.urandom(64), good), password, version=2),
         "Unsupported backup version"),
        (write_file(make_payload(password, os.urandom(64), good), "other"), "Incorrect password"),
        (b"QMBK\x01" + os.urandom(16), "Not a valid Quillmark backup file"),
    ]
    for i, (data, expected) in enumerate(cases):
        path = os.path.join(work, f"hostile{i}.qmbackup")
        with open(path, "wb") as f:
            f.write(data)
        folder = os.path.join(work, f"hostile{i}")
        report = driver_restore(driver, folder, password, path)
        check(report.get("error") == expected, f"case {i}: {report}")
        check(report["files"] == ["Quillmark"], f"case {i} wrote {report['files']}")
        check(not os.path.exists(os.path.join(work, ".bashrc")), "escaped the folder")


def golden_file_restores_here(driver, work):
    golden = os.path.join(os.path.dirname(os.path.abspath(__file__)), "golden",
                          "wallet-v1.qmbackup")
    data = open(golden, "rb").read()
    check(data == golden_file(), "the kept golden file is no longer what the format makes")
    report = driver_restore(driver, os.path.join(work, "golden"), GOLDEN_PASSWORD, golden)
    check(report.get("seed") == hashlib.sha512(b"quillmark golden seed").hexdigest(),
          f"golden: {report}")
    check(report["words"] == WORDS, "golden words")
    # Written before the record kept more keys: it restores with exactly its own.
    check(report["record"] == stored_form(report["wallet"]), f"golden record {report['record']}")


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--golden":
        with open(sys.argv[2], "wb") as f:
            f.write(golden_file())
        return 0
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 64
    driver = sys.argv[1]
    with tempfile.TemporaryDirectory(prefix="qm-backup-peer.") as work:
        for test in (python_file_restores_here, our_file_opens_here, hostile_files_are_refused,
                     golden_file_restores_here):
            test(driver, work)
            print(f"ok {test.__name__}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
