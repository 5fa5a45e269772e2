"""Shared fixtures of the package tests: the data sets of the repository."""

import pathlib

import numpy as np
import pytest

DATA = pathlib.Path(__file__).resolve().parent.parent.parent / "data"


def read_csv(name):
    return np.loadtxt(DATA / name, delimiter=",", skiprows=1)


@pytest.fixture(scope="session")
def stackloss():
    return read_csv("stackloss.csv")


@pytest.fixture(scope="session")
def hbk_x():
    return read_csv("hbk.csv")[:, :3]

