# SPDX-License-Identifier: MIT
"""kulve32.des against known answers, and its refusals."""

from __future__ import annotations

import array

import pytest

import kulve32
from kulve32 import des

# (key, plain, cipher): the classic worked example, one of the variable-
# plaintext answers, and a weak key (all answers checked with OpenSSL).
VECTORS = [
    ("133457799BBCDFF1", "0123456789ABCDEF", "85E813540F0AB405"),
    ("0101010101010101", "95F8A5E5DD31D900", "8000000000000000"),
    ("FEFEFEFEFEFEFEFE", "0000000000000000", "CAAAAF4DEAF1DBAE"),
]


@pytest.mark.parametrize("key, plain, cipher", VECTORS)
def test_known_answers_both_ways(key, plain, cipher):
    key_bytes, plain_bytes = bytes.fromhex(key), bytes.fromhex(plain)
    assert des.encrypt(key_bytes, plain_bytes * 3) == bytes.fromhex(cipher) * 3
    assert des.decrypt(key_bytes, bytes.fromhex(cipher)) == plain_bytes


def test_any_bytes_like_input_and_empty_data():
    key = bytes.fromhex("133457799BBCDFF1")
    data = bytes(range(64))
    expected = des.encrypt(key, data)
    assert des.encrypt(bytearray(key), memoryview(data)) == expected
    assert des.encrypt(array.array("B", key), bytearray(data)) == expected
    assert des.decrypt(key, expected) == data
    assert des.encrypt(key, b"") == b""


@pytest.mark.parametrize("key, data, error", [
    (bytes(7), bytes(8), kulve32.BadArgument),  # the library reads 8 key bytes
    (bytes(9), bytes(8), kulve32.BadArgument),
    (bytes(8), bytes(12), kulve32.BadArgument),
    (bytes(8), bytes(1), kulve32.BadArgument),
    ("12345678", bytes(8), TypeError),
    (bytes(8), 8, TypeError),
])
def test_bad_keys_and_lengths_are_refused(key, data, error):
    with pytest.raises(error):
        des.encrypt(key, data)
    with pytest.raises(error):
        des.decrypt(key, data)
