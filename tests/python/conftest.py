"""What the package's tests share: the built kvw-minima, the test data, and the table it writes."""

import csv
import io
import math
import os
import subprocess

import pytest

DATA = os.path.join(os.environ["KVW_SOURCE_DIR"], "tests", "data")
EXAMPLE = os.path.join(os.environ["KVW_SOURCE_DIR"], "examples", "ECLIPSE.DAT")
TESS = os.path.join(DATA, "cmdra-s24.fits")
# CM Dra: primaries and secondaries at phase 0.5, each timed on ±0.1 day.
CM_DRA = {"period": 1.2683900, "epoch": 2458738.66072, "half_width": 0.1, "secondary": True}
CM_DRA_WORDS = ["--period", "1.26839", "--epoch", "2458738.66072", "--half-width", "0.1", "--secondary"]


def kvw_minima_rows(arguments):
    """kvw-minima's CSV table for these arguments, as rows of texts (the header first)."""
    run = subprocess.run([os.environ["KVW_MINIMA"]] + arguments, capture_output=True, text=True, check=True)
    return list(csv.reader(io.StringIO(run.stdout)))


def assert_frame_is_table(frame, rows, skip=()):
    """The DataFrame holds kvw-minima's table: the same columns in order, and in each cell the same value (a
    number to the last bit, an empty field missing)."""
    assert list(frame.columns) == rows[0]
    assert len(frame) == len(rows) - 1
    for index, row in enumerate(rows[1:]):
        for name, text in zip(rows[0], row):
            if name in skip:
                continue
            value = frame[name].iloc[index]
            if text == "":
                assert value is None or value == "" or (isinstance(value, float) and math.isnan(value)), (name, index)
            elif frame[name].dtype.kind in "fi":
                assert float(text) == value, (name, index, text, value)
            else:
                assert value == text, (name, index)


@pytest.fixture(scope="session")
def cm_dra_rows():
    return kvw_minima_rows(CM_DRA_WORDS + [TESS])
