"""Builds the native part of zqx with the project's CMake and puts it, with the plug-ins, into the
package. Metadata is in pyproject.toml.

The CMake build folder is <repository>/build/python-package (ZQX_CMAKE_BUILD_DIR names another,
e.g. build/default), kept between installs so that a reinstall rebuilds only what changed. CMake, Ninja, a C++17
compiler, pybind11 and the host's libraries must be installed (tools/install-deps.sh).
"""

import glob
import os
import shutil
import subprocess
import sys

from setuptools import Distribution, setup
from setuptools.command.build_py import build_py

HERE = os.path.dirname(os.path.abspath(__file__))
REPOSITORY = os.path.dirname(HERE)


class BuildWithCMake(build_py):
    def run(self):
        super().run()
        build_dir = os.environ.get("ZQX_CMAKE_BUILD_DIR") or os.path.join(REPOSITORY, "build", "python-package")
        configure = ["cmake", "-S", REPOSITORY, "-B", build_dir]
        # A folder configured before (a preset's build folder, or an earlier install) keeps its own
        # settings; a new one is made for this interpreter, without the tests.
        if not os.path.exists(os.path.join(build_dir, "CMakeCache.txt")):
            configure += ["-DCMAKE_BUILD_TYPE=Release", "-DZQX_BUILD_TESTS=OFF", "-DZQX_BUILD_PYTHON=ON",
                          f"-DPython3_EXECUTABLE={sys.executable}"]
            if shutil.which("ninja"):
                configure += ["-G", "Ninja"]
        subprocess.check_call(configure)
        subprocess.check_call(["cmake", "--build", build_dir, "--target", "zqx_python"])
        built = os.path.join(build_dir, "python", "zqx")
        native = glob.glob(os.path.join(built, "_native*"))
        if not native:
            sys.exit(f"zqx: the CMake build made no native module in {built} "
                     "(is pybind11-dev installed? see the configure output above)")
        # The native module, the plug-ins and tonalscan, side by side as the build tree has them.
        target = os.path.join(self.build_lib, "zqx")
        os.makedirs(target, exist_ok=True)
        for path in native + glob.glob(os.path.join(built, "*.so")) + glob.glob(os.path.join(built, "*.dll")):
            shutil.copy2(path, target)


class BinaryDistribution(Distribution):
    # The wheel carries compiled code: tag it for this Python and platform.
    def has_ext_modules(self):
        return True


setup(cmdclass={"build_py": BuildWithCMake}, distclass=BinaryDistribution)
