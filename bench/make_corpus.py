#!/usr/bin/env python3
"""Writes the benchmark corpus: deterministic, made from a fixed seed, no
downloads.

    make_corpus.py [FOLDER]            the corpus (default: build/bench/corpus)
    make_corpus.py --big FILE [MiB]    one large text-like file (default 1024 MiB)
    make_corpus.py --tiny FOLDER       the tiny-file set (default: build/bench/tiny)

The corpus holds
    text.txt     about 128 MiB of text-like words (compresses about 3:1),
    random.bin   32 MiB of random bytes (does not compress),
    small/       20,000 files of 1 to 16 KiB (log-uniform sizes, mostly
                 text, some binary) in nested folders, one to three deep.

The tiny-file set, a folder of its own, holds
    100,000 files of 0 to 200 bytes (uniform sizes, mostly text, some
    binary) in 500 folders that grow as source trees do: each new folder
    goes under the top or under an earlier one, up to five deep, and each
    file into any of the 500 (none at the top).

A stamp file records the parameters (inside the corpus, beside the tiny
set); a folder that already holds a complete
corpus (or set) of this version is left alone.
"""
import math
import os
import random
import shutil
import sys

VERSION = 1
TEXT_BYTES = 128 * 1024 * 1024
RANDOM_BYTES = 32 * 1024 * 1024
SMALL_FILES = 20000
SMALL_MIN = 1024
SMALL_MAX = 16 * 1024
STAMP = ".corpus-complete"
TINY_VERSION = 1
TINY_FILES = 100000
TINY_FOLDERS = 500
TINY_MAX = 200
TINY_DEPTH = 5


def vocabulary(rng, count=6000):
    """Pronounceable words of 1 to 4 syllables, the commonest first."""
    onsets = ["", "b", "c", "d", "f", "g", "h", "j", "k", "l", "m", "n", "p", "r", "s",
              "t", "v", "w", "z", "br", "cl", "dr", "fr", "gr", "pl", "pr", "sh", "st",
              "th", "tr", "ch", "qu"]
    vowels = ["a", "e", "i", "o", "u", "ai", "ea", "ee", "io", "ou", "y"]
    codas = ["", "", "", "n", "r", "s", "t", "l", "m", "nd", "st", "ng", "ck", "x"]
    words = set()
    out = []
    while len(out) < count:
        syllables = rng.choices([1, 2, 3, 4], weights=[30, 40, 22, 8])[0]
        word = "".join(rng.choice(onsets) + rng.choice(vowels) + rng.choice(codas)
                       for _ in range(syllables))
        if word not in words:
            words.add(word)
            out.append(word)
    return out


class TextMaker:
    """Zipf-distributed words in sentences, lines and paragraphs."""

    def __init__(self, rng):
        self.rng = rng
        self.words = vocabulary(rng)
        self.weights = [1.0 / (rank + 1) for rank in range(len(self.words))]
        self.cumulative = []
        total = 0.0
        for w in self.weights:
            total += w
            self.cumulative.append(total)

    def make(self, size):
        rng = self.rng
        parts = []
        produced = 0
        while produced < size:
            # A paragraph: a few hundred words drawn at once (fast), then
            # punctuated and wrapped.
            count = rng.randint(40, 400)
            drawn = rng.choices(self.words, cum_weights=self.cumulative, k=count)
            line = []
            line_len = 0
            sentence_left = rng.randint(5, 25)
            capital = True
            for word in drawn:
                if capital:
                    word = word.capitalize()
                    capital = False
                sentence_left -= 1
                if sentence_left == 0:
                    word += rng.choice([".", ".", ".", "?", "!", ";"])
                    sentence_left = rng.randint(5, 25)
                    capital = True
                elif rng.random() < 0.06:
                    word += ","
                if line_len + len(word) + 1 > 78:
                    parts.append(" ".join(line))
                    parts.append("\n")
                    produced += line_len + 1
                    line = []
                    line_len = 0
                line.append(word)
                line_len += len(word) + (1 if line_len else 0)
            parts.append(" ".join(line))
            parts.append(".\n\n")
            produced += line_len + 3
        return "".join(parts).encode("ascii")[:size]


def write_text_file(path, maker, size):
    chunk = 4 * 1024 * 1024
    with open(path, "wb") as out:
        left = size
        while left > 0:
            data = maker.make(min(chunk, left))
            out.write(data)
            left -= len(data)


def write_sample_file(rng, where, stem, size, pool, extensions):
    """One file of the small and tiny sets: about one in eight is random
    bytes (name.bin), the others a slice of the text pool under one of the
    extensions. The draws from rng come in the same order for every set, so
    a seed gives the same files."""
    if rng.random() < 0.12:
        data = rng.randbytes(size)
        name = stem + ".bin"
    else:
        start = rng.randrange(0, len(pool) - size)
        data = pool[start:start + size]
        name = stem + rng.choice(extensions)
    with open(os.path.join(where, name), "wb") as out:
        out.write(data)


def start_afresh(folder, stamp, want, label):
    """False when the stamp says folder is a complete set made as want asks;
    else an empty folder, without the old stamp, and True."""
    if os.path.exists(stamp):
        with open(stamp) as f:
            if f.read() == want:
                print("%s: %s is complete" % (label, folder))
                return False
    if os.path.exists(folder):
        shutil.rmtree(folder)
    if os.path.exists(stamp):  # a stamp beside the folder outlives it
        os.remove(stamp)
    os.makedirs(folder)
    return True


def make_corpus(folder):
    stamp = os.path.join(folder, STAMP)
    want = "version=%d text=%d random=%d small=%d\n" % (VERSION, TEXT_BYTES, RANDOM_BYTES, SMALL_FILES)
    if not start_afresh(folder, stamp, want, "corpus"):
        return
    rng = random.Random(20240608)
    maker = TextMaker(rng)

    print("corpus: text.txt (%d MiB)" % (TEXT_BYTES >> 20), flush=True)
    write_text_file(os.path.join(folder, "text.txt"), maker, TEXT_BYTES)

    print("corpus: random.bin (%d MiB)" % (RANDOM_BYTES >> 20), flush=True)
    with open(os.path.join(folder, "random.bin"), "wb") as out:
        for _ in range(RANDOM_BYTES // (1 << 20)):
            out.write(rng.randbytes(1 << 20))

    print("corpus: small/ (%d files)" % SMALL_FILES, flush=True)
    # Slices of one text pool give each small file its own words cheaply;
    # every entry is compressed on its own, so sharing a pool costs nothing.
    pool = maker.make(16 * 1024 * 1024)
    folders = []
    for top in range(12):
        for mid in range(rng.randint(3, 8)):
            folders.append("d%02d/m%02d" % (top, mid))
            for leaf in range(rng.randint(0, 6)):
                folders.append("d%02d/m%02d/l%02d" % (top, mid, leaf))
        folders.append("d%02d" % top)
    small = os.path.join(folder, "small")
    log_min, log_max = math.log(SMALL_MIN), math.log(SMALL_MAX)
    extensions = [".txt", ".c", ".h", ".md", ".csv", ".xml", ".json", ".html"]
    made = set()
    for number in range(SMALL_FILES):
        size = int(math.exp(rng.uniform(log_min, log_max)))
        where = os.path.join(small, *rng.choice(folders).split("/"))
        if where not in made:
            os.makedirs(where, exist_ok=True)
            made.add(where)
        write_sample_file(rng, where, "f%05d" % number, size, pool, extensions)

    with open(stamp, "w") as f:
        f.write(want)
    print("corpus: done", flush=True)


def tiny_folders(rng, words):
    """TINY_FOLDERS relative paths, parents before children: a random
    recursive tree, each folder named by a word unique among its siblings."""
    folders = []       # (path, depth)
    children = {"": set()}
    while len(folders) < TINY_FOLDERS:
        # A quarter at the top, the rest under any earlier folder that may
        # still take one: a few broad levels and some deep branches.
        if not folders or rng.random() < 0.25:
            parent, depth = "", 0
        else:
            parent, depth = rng.choice(folders)
            if depth >= TINY_DEPTH:
                continue
        name = rng.choice(words[:2000])
        if name in children[parent]:
            continue
        children[parent].add(name)
        path = parent + "/" + name if parent else name
        children[path] = set()
        folders.append((path, depth + 1))
    return [path for path, _ in folders]


def make_tiny(folder):
    # The stamp lies beside the folder, so that the set is the files alone.
    stamp = folder + STAMP
    want = "tiny version=%d files=%d folders=%d max=%d depth=%d\n" % (
        TINY_VERSION, TINY_FILES, TINY_FOLDERS, TINY_MAX, TINY_DEPTH)
    if not start_afresh(folder, stamp, want, "tiny files"):
        return
    rng = random.Random(20241209)
    maker = TextMaker(rng)
    print("tiny files: %d files in %d folders" % (TINY_FILES, TINY_FOLDERS), flush=True)
    folders = tiny_folders(rng, maker.words)
    for path in folders:
        os.makedirs(os.path.join(folder, *path.split("/")), exist_ok=True)
    pool = maker.make(4 * 1024 * 1024)
    extensions = [".txt", ".c", ".h", ".md", ".json", ".ini", ".xml", ".cfg"]
    for number in range(TINY_FILES):
        size = rng.randint(0, TINY_MAX)
        where = os.path.join(folder, *rng.choice(folders).split("/"))
        write_sample_file(rng, where, "t%06d" % number, size, pool, extensions)
    with open(stamp, "w") as f:
        f.write(want)
    print("tiny files: done", flush=True)


def make_big(path, mib):
    want = mib * 1024 * 1024
    if os.path.exists(path) and os.path.getsize(path) == want:
        print("big file: %s is complete" % path)
        return
    rng = random.Random(77)
    maker = TextMaker(rng)
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    # 64 MiB of text, written again and again: Deflate sees only 32 KiB
    # back, so repeating it costs as much to compress as fresh text.
    block = maker.make(64 * 1024 * 1024)
    partial = path + ".part"
    with open(partial, "wb") as out:
        left = want
        while left > 0:
            piece = block[:min(len(block), left)]
            out.write(piece)
            left -= len(piece)
    os.replace(partial, path)
    print("big file: %s (%d MiB)" % (path, mib), flush=True)


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    default = os.path.join(os.path.dirname(here), "build", "bench", "corpus")
    if len(argv) >= 2 and argv[1] == "--big":
        if len(argv) < 3:
            print(__doc__, file=sys.stderr)
            return 2
        make_big(argv[2], int(argv[3]) if len(argv) > 3 else 1024)
        return 0
    if len(argv) >= 2 and argv[1] == "--tiny":
        make_tiny(os.path.abspath(argv[2]) if len(argv) > 2 else
                  os.path.join(os.path.dirname(here), "build", "bench", "tiny"))
        return 0
    if len(argv) >= 2 and argv[1] in ("-h", "--help"):
        print(__doc__)
        return 0
    make_corpus(os.path.abspath(argv[1]) if len(argv) > 1 else default)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
