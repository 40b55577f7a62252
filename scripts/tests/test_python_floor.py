"""ROS Noetic runs on Python 3.8 (Ubuntu 20.04): a newer construct in a program here breaks it
for every Noetic user, while the Pythons of Debian 11 to 13 (3.9 to 3.13) take it silently."""
import ast
import pathlib
import unittest

ROOT = pathlib.Path(__file__).resolve().parents[2]


def python_programs():
    """Every Python file of the repository: *.py, and programs whose first line names python."""
    for path in sorted(ROOT.rglob("*")):
        parts = path.relative_to(ROOT).parts
        if not path.is_file() or parts[0] == "build" or any(p.startswith(".") for p in parts):
            continue
        if path.suffix == ".py":
            yield path
        elif not path.suffix:
            with open(path, "rb") as f:
                first = f.readline()
            if first.startswith(b"#!") and b"python" in first:
                yield path


class PythonFloor(unittest.TestCase):
    def test_every_program_keeps_to_python_3_8_grammar(self):
        programs = list(python_programs())
        self.assertGreater(len(programs), 5)
        for path in programs:
            with self.subTest(program=str(path.relative_to(ROOT))):
                ast.parse(path.read_text(), str(path), feature_version=(3, 8))


if __name__ == "__main__":
    unittest.main()
