"""Builds the linkwork wheel with CMake.

The CMake install component "wheel" lays out the extension, the runtime library,
the module and the command inside the package folder, where they find each other
through $ORIGIN search paths. LINKWORK_CMAKE_BUILD_DIR names an existing build tree
to reuse (for instance build/); otherwise the build is configured under build_temp.
"""

import os
import re
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent


def project_version():
    text = (ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    match = re.search(r"project\(\s*linkwork\s+VERSION\s+([0-9]+(?:\.[0-9]+)*)", text)
    if match is None:
        raise RuntimeError("CMakeLists.txt names no project version")
    return match.group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        if self.inplace:
            raise RuntimeError("editable installs are not supported; use PYTHONPATH=build/python after scripts/setup")
        chosen = os.environ.get("LINKWORK_CMAKE_BUILD_DIR")
        build_dir = Path(chosen).resolve() if chosen else Path(self.build_temp).resolve() / "cmake"
        if not (build_dir / "CMakeCache.txt").exists():
            configure = [
                "cmake", "-S", str(ROOT), "-B", str(build_dir),
                "-DCMAKE_BUILD_TYPE=Release", "-DLINKWORK_TESTS=OFF", "-DLINKWORK_PYTHON=ON",
                f"-DPython_EXECUTABLE={sys.executable}",
            ]
            subprocess.run(configure, check=True)
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL") or str(os.cpu_count() or 1)
        subprocess.run(["cmake", "--build", str(build_dir), "-j", jobs], check=True)
        # The package folder of the wheel is <build_lib>/linkwork.
        prefix = Path(self.get_ext_fullpath(ext.name)).resolve().parent.parent
        subprocess.run(["cmake", "--install", str(build_dir), "--component", "wheel", "--prefix", str(prefix)],
                       check=True)


# Away from build/, the tree scripts/setup builds.
BUILD_BASE = ROOT / "build-python"
BUILD_BASE.mkdir(exist_ok=True)

setup(
    version=project_version(),
    packages=["linkwork"],
    package_dir={"linkwork": "python/linkwork"},
    ext_modules=[Extension("linkwork._linkwork", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    options={"build": {"build_base": str(BUILD_BASE)}, "egg_info": {"egg_base": str(BUILD_BASE)}},
)
