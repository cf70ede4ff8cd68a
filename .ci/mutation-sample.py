#!/usr/bin/env python3
"""mutation-sample.py REPO BUILD N SEED: applies N random single-line mutants (an operator, a
constant, a literal turned, a statement deleted) to the tracked src/**/*.cpp of REPO, one at a
time; for each it rebuilds the configured tree BUILD and runs ctest. A mutant that does not
build is not counted; one that makes a test fail or time out is killed. Prints one line per
mutant and the count. Not run by CI: a sample of 30 takes 15 to 30 minutes. Run it in a
separate worktree, since it edits the sources (each file is restored after its mutant)."""
import os, random, re, subprocess, sys, time

repo, build, n, seed = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
rng = random.Random(seed)
files = sorted(subprocess.run(["git", "ls-files", "src/*.cpp"], cwd=repo, capture_output=True,
                              text=True).stdout.split())

OPS = [(r"<=", "<"), (r">=", ">"), (r"(?<![<-])<(?![<=])", "<="), (r"(?<![>-])>(?![>=])", ">="),
       (r"==", "!="), (r"!=", "=="), (r"&&", "||"), (r"\|\|", "&&"), (r"\btrue\b", "false"),
       (r"\bfalse\b", "true"), (r"(?<![+])\+(?![+=])", "-"), (r"(?<![-])-(?![-=>])", "+"),
       (r"\b(\d+)\b", None), (r"\+\+", "--"), (r"\breturn\b(.*);", "return{};")]


def code_lines(text):
    out, in_comment = [], False
    for i, line in enumerate(text.split("\n")):
        s = line.strip()
        if not s or s.startswith("//") or s.startswith("#") or s in ("{", "}", "};", "});") \
           or s.startswith("namespace") or s.startswith("}  //"):
            continue
        out.append(i)
    return out


def mutants_of(line):
    found = []
    for pat, rep in OPS:
        for m in re.finditer(pat, line.split("//")[0]):
            if rep is None:
                new = str(int(m.group(1)) + 1)
            else:
                new = rep
            found.append(line[:m.start()] + new + line[m.end():])
    s = line.strip()
    if s.endswith(";") and not s.startswith("return") and "=" not in s.split("(")[0] and not re.match(r"^(const |auto |int |size_t |std::|bool |char |uint|double )", s):
        found.append(re.match(r"^\s*", line).group(0) + "// deleted: " + s)
    return found


pool = []
for f in files:
    text = open(os.path.join(repo, f)).read()
    for i in code_lines(text):
        pool.append((f, i))
killed = survived = stillborn = 0
done = 0
while done < n:
    f, i = rng.choice(pool)
    path = os.path.join(repo, f)
    original = open(path).read()
    lines = original.split("\n")
    options = mutants_of(lines[i])
    if not options:
        continue
    mutated_line = rng.choice(options)
    lines[i] = mutated_line
    open(path, "w").write("\n".join(lines))
    t0 = time.time()
    try:
        b = subprocess.run(["cmake", "--build", build, "-j2"], capture_output=True, timeout=900)
        if b.returncode != 0:
            stillborn += 1
            verdict = "stillborn"
        else:
            done += 1
            t = subprocess.run(["ctest", "--test-dir", build, "-j2", "--timeout", "120"], capture_output=True, timeout=1800)
            if t.returncode != 0:
                killed += 1
                verdict = "killed"
            else:
                survived += 1
                verdict = "SURVIVED"
    except subprocess.TimeoutExpired:
        done += 1
        killed += 1
        verdict = "killed (timeout)"
    finally:
        open(path, "w").write(original)
    print(f"{verdict:16} {f}:{i + 1}: {mutated_line.strip()[:110]}  ({time.time() - t0:.0f} s)",
          flush=True)
print(f"{killed} killed, {survived} survived of {done} live mutants ({stillborn} did not build)")
