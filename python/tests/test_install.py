"""The one-command install: pip builds a wheel through CMake, and the installed package finds the
plug-ins it carries from any folder, with no plug-in path set."""

import os
import subprocess
import sys

import pytest

from conftest import triad, write_wav

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def test_pip_install_into_a_virtual_environment(tmp_path):
    build_dir = os.environ.get("ZQX_INSTALL_TEST_BUILD_DIR")
    if not build_dir:
        pytest.skip("ZQX_INSTALL_TEST_BUILD_DIR names no configured build folder to reuse")
    venv = tmp_path / "venv"
    subprocess.run([sys.executable, "-m", "venv", "--system-site-packages", str(venv)], check=True)
    env = {k: v for k, v in os.environ.items() if k not in ("ZQX_PLUGIN_PATH", "PYTHONPATH")}
    env["ZQX_CMAKE_BUILD_DIR"] = build_dir
    subprocess.run([str(venv / "bin" / "pip"), "install", "-q", "--no-index", "--no-build-isolation", SOURCE],
                   check=True, env=env, cwd=tmp_path)

    write_wav(tmp_path / "tone.wav", triad([261.63, 329.63, 392.0], 3.0))
    script = (
        "import os, zqx\n"
        "m = zqx.Module('zqx_tonewheel', {'loedge': 100, 'hiedge': 5000, 'useMRFFT': True})\n"
        "package = os.path.dirname(zqx.__file__)\n"
        "assert os.path.dirname(m.path) == package, (m.path, package)\n"
        "r = zqx.extract('tone.wav')\n"
        "print(package, r.chroma.shape[0])\n"
    )
    work = tmp_path / "elsewhere"
    work.mkdir()
    (work / "tone.wav").write_bytes((tmp_path / "tone.wav").read_bytes())
    done = subprocess.run([str(venv / "bin" / "python"), "-c", script], cwd=work, env=env, check=True,
                          capture_output=True, text=True)
    package, rows = done.stdout.split()
    assert package.startswith(str(venv)) and int(rows) > 0
