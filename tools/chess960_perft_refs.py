#!/usr/bin/env python3
"""Writes the Chess960 perft reference file (tests/data/perft960.epd).

The counts come from Debian's stockfish package, used as an oracle for leaf
counts only: the 960 start positions by their standard numbers, positions
reached by random play from some of them with castling rights left, and a
few set-up positions around the castling rules.

    tools/chess960_perft_refs.py [stockfish] > tests/data/perft960.epd
"""
import random
import subprocess
import sys

ENGINE = sys.argv[1] if len(sys.argv) > 1 else "/usr/games/stockfish"

# Knight placements over the five squares left after bishops and queen.
KNIGHTS = ["NN---", "N-N--", "N--N-", "N---N", "-NN--", "-N-N-", "-N--N", "--NN-", "--N-N", "---NN"]


def start_rank(number):
    """The back rank of start position `number` (0..959; 518 is the
    standard one)."""
    rank = [None] * 8
    n, light = divmod(number, 4)
    rank[2 * light + 1] = "B"
    n, dark = divmod(n, 4)
    rank[2 * dark] = "B"
    n, queen = divmod(n, 6)
    empty = [f for f in range(8) if rank[f] is None]
    rank[empty[queen]] = "Q"
    empty = [f for f in range(8) if rank[f] is None]
    for f, c in zip(empty, KNIGHTS[n]):
        if c == "N":
            rank[f] = "N"
    for f, c in zip([f for f in range(8) if rank[f] is None], "RKR"):
        rank[f] = c
    return "".join(rank)


def start_fen(number):
    rank = start_rank(number)
    files = [chr(ord("a") + f) for f in range(8) if rank[f] == "R"]
    rights = files[1].upper() + files[0].upper() + files[1] + files[0]
    return f"{rank.lower()}/pppppppp/8/8/8/8/PPPPPPPP/{rank} w {rights} - 0 1"


class Oracle:
    def __init__(self):
        self.p = subprocess.Popen([ENGINE], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, bufsize=1)
        self.send("uci")
        self.wait("uciok")
        self.send("setoption name UCI_Chess960 value true")

    def send(self, line):
        self.p.stdin.write(line + "\n")

    def wait(self, prefix):
        lines = []
        while True:
            line = self.p.stdout.readline()
            if not line:
                raise RuntimeError("oracle ended")
            lines.append(line.rstrip("\n"))
            if line.startswith(prefix):
                return lines

    def perft(self, position, depth):
        self.send(position)
        self.send(f"go perft {depth}")
        lines = self.wait("Nodes searched")
        moves = [l.split(":")[0] for l in lines if ":" in l and not l.startswith("Nodes")]
        return int(lines[-1].split(":")[1]), moves

    def fen(self, position):
        self.send(position)
        self.send("d")
        for line in self.wait("Checkers"):
            if line.startswith("Fen: "):
                return line[5:]
        raise RuntimeError("no fen")


def counts(oracle, fen, depth):
    return " ".join(f";D{d} {oracle.perft('position fen ' + fen, d)[0]}" for d in range(1, depth + 1))


def main():
    oracle = Oracle()
    out = sys.stdout
    out.write("# Chess960 perft counts (Debian's stockfish as the oracle, tools/chess960_perft_refs.py):\n")
    out.write("# FEN (Shredder-FEN castling); D<depth> <leaf count>; the comment names the position.\n")
    deep = set(range(0, 960, 40))  # 24 start positions to depth 5
    for number in range(960):
        fen = start_fen(number)
        depth = 5 if number in deep else 4
        out.write(f"# start position {number}\n{fen} {counts(oracle, fen, depth)}\n")
        out.flush()

    # Random play from start positions, kept while castling is still possible
    # on some side and a castling move or a king beside its rook is in play.
    rng = random.Random(960)
    found = 0
    while found < 40:
        number = rng.randrange(960)
        fen = start_fen(number)
        moves = []
        for _ in range(rng.randrange(6, 24)):
            _, legal = oracle.perft(f"position fen {fen} moves {' '.join(moves)}", 1)
            if not legal:
                break
            moves.append(rng.choice(legal))
        position = f"position fen {fen} moves {' '.join(moves)}"
        reached = oracle.fen(position)
        rights = reached.split()[2]
        if rights == "-":
            continue
        _, legal = oracle.perft(position, 1)
        board = reached.split()[0].split("/")
        beside = any("KR" in r or "RK" in r or "kr" in r or "rk" in r for r in (board[0], board[7]))
        castles = any(m[0:2] in ("a1b1c1d1e1f1g1h1a8b8c8d8e8f8g8h8"[i:i + 2] for i in range(0, 32, 2))
                      and m[2:4] != m[0:2] for m in legal)
        if not (beside or castles):
            continue
        found += 1
        out.write(f"# random play from start position {number}\n{reached} {counts(oracle, reached, 4)}\n")
        out.flush()

    set_up = [
        ("rook on b1 shields c1 from the rook on a1: no castling", "4k3/8/8/8/8/8/8/rRK5 w B - 0 1"),
        ("rook on b1 shields c1 from the queen on a1, king d1", "4k3/8/8/8/8/8/8/qR1K4 w B - 0 1"),
        ("king b1 to g1 through a square a bishop covers", "4k3/8/8/8/8/8/3b4/1K5R w H - 0 1"),
        ("king on g1 stays, rook h1 to f1", "6kr/pppppppp/8/8/8/8/PPPPPPPP/6KR w Hh - 0 1"),
        ("king and rook swap squares", "5kr1/pppppppp/8/8/8/8/PPPPPPPP/5KR1 w Gg - 0 1"),
        ("king and rook on f and g, open files: the king would cross covered squares",
         "5kr1/8/8/8/8/8/8/5KR1 w Gg - 0 1"),
        ("king b1 rook a1: king to c1, rook to d1", "rk6/pppppppp/8/8/8/8/PPPPPPPP/RK6 w Aa - 0 1"),
        ("king e1 rook f1: the rook stays", "4kr2/pppppppp/8/8/8/8/PPPPPPPP/4KR2 w Ff - 0 1"),
        ("king e1 rook f1, open f-file: f1 covered, no castling", "4kr2/8/8/8/8/8/8/4KR2 w Ff - 0 1"),
        ("both sides, inner rooks", "1r2k1r1/pppppppp/8/8/8/8/PPPPPPPP/1R2K1R1 w GBgb - 0 1"),
        ("two rooks on one side, the inner one castles", "4k1rr/pppppppp/8/8/8/8/PPPPPPPP/4K1RR w Gg - 0 1"),
        ("king d1 rooks a1 h1 on open files, both ways", "r2k3r/8/8/8/8/8/8/R2K3R w HAha - 0 1"),
    ]
    for comment, fen in set_up:
        out.write(f"# {comment}\n{fen} {counts(oracle, fen, 4)}\n")
    oracle.send("quit")


if __name__ == "__main__":
    main()
