"""The build step that pyproject.toml cannot say: the package carries librobmat_host.so and
librobmat.so in robmat/lib. They come from $ROBMAT_LIBRARY_DIR when set (a finished CMake
build's lib folder), else from a Release build with CMake run here (the build dependencies of
scripts/setup must be installed)."""

import os
import pathlib
import shutil
import subprocess

from setuptools import Distribution, setup
from setuptools.command.build_py import build_py

LIBRARIES = ("librobmat_host.so", "librobmat.so")


class BuildWithLibraries(build_py):
    def run(self):
        super().run()
        libdir = os.environ.get("ROBMAT_LIBRARY_DIR")
        if libdir:
            libdir = pathlib.Path(libdir)
        else:
            root = pathlib.Path(__file__).resolve().parent
            build = root / "build-python" / "cmake"
            subprocess.check_call(["cmake", "-S", str(root), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                                   "-DROBMAT_TESTS=OFF"])
            subprocess.check_call(["cmake", "--build", str(build), "--target", "robmat_host", "robmat", "-j",
                                   str(os.cpu_count() or 2)])
            libdir = build / "lib"
        target = pathlib.Path(self.build_lib) / "robmat" / "lib"
        target.mkdir(parents=True, exist_ok=True)
        for name in LIBRARIES:
            if not (libdir / name).is_file():
                raise RuntimeError(f"{name} was not found in {libdir}")
            shutil.copy2(libdir / name, target / name)


class BinaryDistribution(Distribution):
    """The wheel holds shared libraries, so it is built for this platform only."""

    def has_ext_modules(self):
        return True


setup(cmdclass={"build_py": BuildWithLibraries}, distclass=BinaryDistribution,
      options={"build": {"build_base": "build-python"}})
