#!/usr/bin/env python3
"""Runs two builds of zevrin over the same files and compares every output byte.

  compare_outputs.py OLD_ZEVRIN NEW_ZEVRIN [--random N] [--seed S] [--tag-may-change]

For every model, DXF and ROK file in tests/data, examples/, fuzz/corpus and ../shared/corpus,
and for N random half models (written here with ids, attachments, hooks, loop bits, groups
and bones), each command below runs with both binaries in folders of their own. Standard
output, standard error (with the folder's path taken out), the exit code and every file left
in the folder (the saved model, attach_err.txt, exports) must be the same. A refactoring that
must not change behaviour is checked this way against the commit before it.

Differences on tag files (inputs whose first line is <MODELFILE>) are counted apart; with
--tag-may-change (a change meant to alter what happens to tag files) only the others fail.
"""
import os
import random
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

COMMANDS = [
    ["info"],
    ["convert", "-o", "out"],
    ["halvejoin", "-t", "0", "-o", "out"],
    ["halvejoin", "-t", "0.01", "-o", "out"],
    ["connect", "-o", "out"],
    ["attach-all", "-o", "out"],
    ["detach-all", "-o", "out"],
    ["mirror-bone", "-t", "0.001", "-o", "out"],
    ["mirror-bone", "-t", "0", "--rule", "prefix", "--word", "l", "--replacement", "r", "-o", "out"],
    ["export", "-o", "out.obj"],
]


def random_half_model(rng):
    lines = ["[MODELFILE]", "[MODEL]",
             "Bounds=" + " ".join(str(rng.randint(-3, 3)) for _ in range(24)), "[MESH]"]
    ident = 0
    xs = ["0", "0.001", "1", "2", "-0", "0.5"]
    for _ in range(rng.randint(1, 12)):
        n = rng.randint(1, 6)
        lines.append("CPs=%d" % n)
        for _ in range(n):
            ident += 1
            flags = 0
            if rng.random() < 0.2:
                flags |= 0x80
            if rng.random() < 0.2:
                flags |= 0x10
            if rng.random() < 0.1:
                flags |= 0x4
            attached = ident > 1 and rng.random() < 0.3
            first = "%d %d %d" % (flags, 1 if attached else 0, ident)
            if flags & 0x10:
                first += " " + rng.choice(["0", "0.25", "0.5"])
            lines.append(first)
            if attached:
                lines.append(str(rng.randint(1, ident + 2)))
            else:
                lines.append("%s %d %d" % (rng.choice(xs), rng.randint(0, 3), rng.randint(0, 2)))
            lines += ["0", "0"]
    lines.append("[ENDMESH]")
    for _ in range(rng.randint(0, 3)):
        ids = [str(rng.randint(1, ident)) for _ in range(rng.randint(1, ident))]
        lines += ["[GROUP]", "Name=g", "Count=%d" % len(ids)] + ids + ["[ENDGROUP]"]
    for b in range(rng.randint(0, 3)):
        lines += ["[SEGMENT]", "Name=left%d" % b,
                  "Pivot=%d 0 0" % rng.randint(-2, 2), "End=%d 1 0" % rng.randint(-2, 2),
                  "BoneColor=255 0 0", "[ENDSEGMENT]"]
    if rng.random() < 0.3:
        lines += ["[DECALS]", "x=1", "[ENDDECALS]"]
    lines += ["[ENDMODEL]", "[ENDMODELFILE]"]
    return "\r\n".join(lines) + "\r\n"


def inputs(work, count, seed):
    files = []
    for folder in ["tests/data", "examples", "../shared/corpus"]:
        path = os.path.join(ROOT, folder)
        if os.path.isdir(path):
            for name in sorted(os.listdir(path)):
                if os.path.splitext(name)[1].lower() in (".mdl", ".seg", ".dxf", ".rok"):
                    files.append(os.path.join(path, name))
    corpus = os.path.join(ROOT, "fuzz", "corpus", "model_load")
    if os.path.isdir(corpus):
        for name in sorted(os.listdir(corpus)):
            files.append(os.path.join(corpus, name))
    rng = random.Random(seed)
    for k in range(count):
        path = os.path.join(work, "random_%03d.mdl" % k)
        with open(path, "w", newline="") as f:
            f.write(random_half_model(rng))
        files.append(path)
    return files


def run(binary, source, command, folder):
    os.makedirs(folder)
    ext = os.path.splitext(source)[1] or ".mdl"
    local = os.path.join(folder, "in" + ext)
    shutil.copyfile(source, local)
    args = [binary, "-q", "--template", os.path.join(ROOT, "data", "animas_reference.mdl")]
    args += [command[0], local] + command[1:]
    p = subprocess.run(args, cwd=folder, capture_output=True, timeout=120)
    result = {"rc": p.returncode, "out": p.stdout,
              "err": p.stderr.replace(folder.encode(), b"FOLDER")}
    for name in sorted(os.listdir(folder)):
        with open(os.path.join(folder, name), "rb") as f:
            result["file " + name] = f.read()
    return result


def main():
    args = sys.argv[1:]
    if len(args) < 2:
        print(__doc__)
        return 2
    old, new = os.path.abspath(args[0]), os.path.abspath(args[1])
    count = int(args[args.index("--random") + 1]) if "--random" in args else 200
    seed = int(args[args.index("--seed") + 1]) if "--seed" in args else 1
    work = tempfile.mkdtemp(prefix="zevrin-compare-")
    tag_may_change = "--tag-may-change" in args
    differences = 0
    tag_differences = 0
    runs = 0
    try:
        for i, source in enumerate(inputs(work, count, seed)):
            for j, command in enumerate(COMMANDS):
                a = run(old, source, command, os.path.join(work, "a_%d_%d" % (i, j)))
                b = run(new, source, command, os.path.join(work, "b_%d_%d" % (i, j)))
                runs += 1
                if a != b:
                    with open(source, "rb") as f:
                        tag = f.read(13).startswith(b"<MODELFILE>")
                    if tag:
                        tag_differences += 1
                    else:
                        differences += 1
                    keys = sorted(set(a) | set(b))
                    bad = [k for k in keys if a.get(k) != b.get(k)]
                    print("DIFFERS%s %s %s: %s" % (" (tag file)" if tag else "",
                                                    os.path.relpath(source, ROOT),
                                                    " ".join(command), ", ".join(bad)))
                shutil.rmtree(os.path.join(work, "a_%d_%d" % (i, j)))
                shutil.rmtree(os.path.join(work, "b_%d_%d" % (i, j)))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("%d runs, %d with a difference, %d more on tag files" %
          (runs, differences, tag_differences))
    return 1 if differences or (tag_differences and not tag_may_change) else 0


if __name__ == "__main__":
    sys.exit(main())
