"""Shared helpers of the package tests: the data sets of the repository and the rule for MCD
tests while the module reports that MCD is not available."""

import pathlib

import numpy as np
import pytest

import robmat

DATA = pathlib.Path(__file__).resolve().parent.parent.parent / "data"


def read_csv(name):
    return np.loadtxt(DATA / name, delimiter=",", skiprows=1)


@pytest.fixture(scope="session")
def stackloss():
    return read_csv("stackloss.csv")


@pytest.fixture(scope="session")
def hbk_x():
    return read_csv("hbk.csv")[:, :3]


def mcd_or_skip(*args, **kwargs):
    """robmat.mcd, skipping the test while the module's MCD is a placeholder."""
    try:
        return robmat.mcd(*args, **kwargs)
    except robmat.RoutineError as e:
        if "not available" in str(e):
            pytest.skip("MCD is not available in this build of the module")
        raise

