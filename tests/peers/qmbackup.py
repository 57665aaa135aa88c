#!/usr/bin/env python3
"""An independent reader and writer of ".qmbackup" files (Python's cryptography), checked
both ways against our backup code: qmbackup.py <backup_driver>."""

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


def seal(key, plaintext, nonce):
    return nonce + ChaCha20Poly1305(key).encrypt(nonce, plaintext, None)


def open_box(key, box):
    return ChaCha20Poly1305(key).decrypt(box[:12], box[12:], None)


def b64(data):
    return base64.b64encode(data).decode("ascii")


def make_payload(password, seed, wallet, rand=os.urandom):
    salt = rand(16)
    key = derive(password, salt)
    payload = {
        "theme": "Dollar Green",
        "version": 1,
        "wallet": wallet,
        "salt": b64(salt),
        "seed": b64(seal(key, seed, rand(12))),
        "verifier": b64(hashlib.sha256(password.encode("utf-8") + salt).digest()),
        "createdAt": "2025-02-01T12:00:00Z",
        "tokens": {"ethereum": TOKENS[:1], "polygon": TOKENS[2:]},
        "somethingNewer": {"ignored": True},
    }
    payload["mnemonic"] = b64(seal(key, " ".join(WORDS).encode("utf-8"), rand(12)))
    return payload


def write_file(payload, password, rand=os.urandom, version=1):
    salt = rand(16)
    text = json.dumps(payload, separators=(",", ":")).encode("utf-8")
    return b"QMBK" + bytes([version]) + salt + seal(derive(password, salt), text, rand(12))


def golden_file():
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
    when = datetime.datetime.strptime(wallet["createdAt"], "%Y-%m-%dT%H:%M:%SZ")
    seconds = (when.replace(tzinfo=datetime.timezone.utc) - REFERENCE_DATE).total_seconds()
    return dict(wallet, createdAt=seconds)


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def driver_restore(driver, folder, password, path, data=None):
    if data is not None:
        with open(path, "wb") as f:
            f.write(data)
    out = subprocess.run([driver, "restore", folder, password, path], check=True,
                         capture_output=True, text=True, timeout=60).stdout
    return json.loads(out)


# Keys of the stored record that the wallet type does not read; they must survive the trip.
EXTRA_KEYS = {"btcAddressIndices": {"indices": [0, 1, 2, 5, 6, 7, 8, 10, 11], "next": 12},
              "laterKey": [{"a": None, "b": -1.5}, "ü", 18446744073709551615]}


def python_file_restores_here(driver, work):
    password = "pässwörd 🔑"
    seed = os.urandom(64)
    wallet = {"id": str(uuid.uuid4()).upper(), "name": "Quillmark",
              "createdAt": "2025-01-31T09:30:00Z", "bitcoinAccountCount": 1,
              "ethereumAccountCount": 2, "btcAddressCount": 9}
    data = write_file(make_payload(password, seed, dict(wallet, **EXTRA_KEYS)), password)
    report = driver_restore(driver, os.path.join(work, "restore"), password,
                            os.path.join(work, "python.qmbackup"), data)
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
              "createdAt": "2024-12-24T18:00:00.25Z", "bitcoinAccountCount": 1,
              "ethereumAccountCount": 1, "btcAddressCount": 5}
    solana = {"contractAddress": "EPjFWdd5AufqSSqeM2qN1xzybapC8G4wEGGkZwyTDt1v",
              "symbol": "USDC", "name": "USD Coin", "decimals": 6, "chain": "solana"}
    wallet.update(EXTRA_KEYS)
    contents_path = os.path.join(work, "contents.json")
    out_path = os.path.join(work, "ours.qmbackup")
    with open(contents_path, "w") as f:
        json.dump({"seed": seed.hex(), "words": WORDS, "wallet": wallet,
                   "tokens": TOKENS + [solana], "theme": "Apple Blue"}, f)
    subprocess.run([driver, "export", os.path.join(work, "export"), password, contents_path,
                    out_path], check=True, timeout=60)
    data = open(out_path, "rb").read()
    check(data[:5] == b"QMBK\x01", "header")
    payload = json.loads(open_box(derive(password, data[5:21]), data[21:]))
    check(payload["version"] == 1, "version")
    check(re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(\.\d+)?Z", payload["createdAt"]),
          "createdAt")
    # A fraction of a second is kept, in a form Python reads too.
    check(datetime.datetime.fromisoformat(payload["wallet"]["createdAt"].replace("Z", "+00:00"))
          .microsecond == 250000, "createdAt fraction")
    check(payload["wallet"] == wallet, f"wallet {payload['wallet']}")
    salt = base64.b64decode(payload["salt"])
    verifier = hashlib.sha256(password.encode() + salt).digest()
    check(base64.b64decode(payload["verifier"]) == verifier, "verifier")
    key = derive(password, salt)
    check(open_box(key, base64.b64decode(payload["seed"])) == seed, "seed")
    check(open_box(key, base64.b64decode(payload["mnemonic"])).decode() == " ".join(WORDS), "phrase")
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
        report = driver_restore(driver, os.path.join(work, f"hostile{i}"), password,
                                os.path.join(work, f"hostile{i}.qmbackup"), data)
        check(report.get("error") == expected, f"case {i}: {report}")
        check(report["files"] == ["Quillmark"], f"case {i} wrote {report['files']}")
        check(not os.path.exists(os.path.join(work, ".bashrc")), "escaped the folder")


def golden_file_restores_here(driver, work):
    golden = os.path.join(os.path.dirname(os.path.abspath(__file__)), "golden/wallet-v1.qmbackup")
    check(open(golden, "rb").read() == golden_file(), "the golden file is no longer what we make")
    report = driver_restore(driver, os.path.join(work, "golden"), GOLDEN_PASSWORD, golden)
    check(report.get("seed") == hashlib.sha512(b"quillmark golden seed").hexdigest(), report)
    check(report["words"] == WORDS, "golden words")
    # Written before the record kept more keys: it restores with exactly its own.
    check(report["record"] == stored_form(report["wallet"]), f"golden record {report['record']}")


def main():
    driver = sys.argv[1]
    with tempfile.TemporaryDirectory(prefix="qm-backup-peer.") as work:
        for test in (python_file_restores_here, our_file_opens_here, hostile_files_are_refused,
                     golden_file_restores_here):
            test(driver, work)
            print(f"ok {test.__name__}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
