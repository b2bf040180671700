"""zqx.dask.extract_corpus on a LocalCluster and on a scheduler and workers run as separate
processes with Dask's own command-line tools."""

import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import threading
import time

import pytest
from distributed import Client, LocalCluster

import zqx
import zqx.dask
from conftest import click_train, triad, write_corrupt, write_wav


def make_corpus(folder, good, corrupt, seconds):
    """good files in two sub-folders (with one name shared between them), corrupt ones beside."""
    paths = []
    for i in range(good):
        sub = folder / ("a" if i % 2 == 0 else "b")
        sub.mkdir(parents=True, exist_ok=True)
        name = "same.wav" if i < 2 else f"piece{i:02d}.wav"
        write_wav(sub / name, triad([220.0 * 2 ** (i / 12)], seconds) + click_train(90 + 5 * i, seconds))
        paths.append(sub / name)
    for i in range(corrupt):
        write_corrupt(folder / f"broken{i}.wav", "garbage" if i % 2 == 0 else "truncated")
    return paths


@pytest.fixture(scope="module")
def client():
    # Not the default client: extract_corpus must use the one it is given.
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster, \
            Client(cluster, set_as_default=False) as client:
        yield client


def test_a_corpus_with_corrupt_files_gives_good_rows_and_error_rows(client, tmp_path):
    corpus, out = tmp_path / "corpus", tmp_path / "out"
    make_corpus(corpus, good=18, corrupt=2, seconds=2.0)
    table = zqx.dask.extract_corpus(corpus, out, client=client, progress=True)

    assert len(table) == 20
    assert table["status"].value_counts().to_dict() == {"done": 18, "error": 2}
    errors = table[table["status"] == "error"]
    assert sorted(os.path.basename(p) for p in errors["path"]) == ["broken0.wav", "broken1.wav"]
    assert all(os.path.basename(p) in e for p, e in zip(errors["path"], errors["error"]))
    good = table[table["status"] == "done"]
    assert good["error"].isna().all() and good["dynamic_range"].notna().all()
    # Sub-folders are kept, so a/same.wav and b/same.wav do not collide.
    assert {"a/same", "b/same"} <= set(good["name"])
    for row in good.itertuples():
        assert os.path.isfile(row.output) and os.path.isfile(out / f"{row.name}.chroma.csv")
    # A worker's file is what zqx.extract gives for it.
    row = good.iloc[3]
    document = json.loads((out / f"{row['name']}.json").read_text())
    assert zqx.load_result(row["output"]).streams["chroma"].values.tolist() == \
        zqx.extract(row["path"]).chroma.tolist()
    assert document["file"] == row["path"]
    # The zqx command's corpus table: its header, and a row per analysed input, sorted by path.
    summary = (out / "summary.csv").read_text().splitlines()
    assert summary[0].split(",") == list(zqx._native.SUMMARY_COLUMNS)
    assert [line.split(",")[0] for line in summary[1:]] == sorted(good["path"])
    assert list(table.columns[:8]) == ["path", "name", "status", "error", "output", "duration", "rate", "channels"]

    # Resumed: the complete result sets are skipped, the broken files tried again, an incomplete
    # set or an unreadable document made anew.
    (out / "a" / "same.rhythm.csv").unlink()
    (out / "b" / "same.json").write_text("{")
    again = zqx.dask.extract_corpus(corpus, out, client=client, progress=False)
    assert again["status"].value_counts().to_dict() == {"skipped": 16, "done": 2, "error": 2}
    assert set(again.loc[again["status"] == "done", "name"]) == {"a/same", "b/same"}
    assert again.drop(columns="status").equals(table.drop(columns="status"))

    (tmp_path / "empty").mkdir()
    with pytest.raises(ValueError, match="no audio files among the inputs"):
        zqx.dask.extract_corpus(tmp_path / "empty", out, client=client)


def test_a_worker_killed_mid_run_still_completes_every_file(client, tmp_path):
    corpus, out = tmp_path / "corpus", tmp_path / "out"
    paths = make_corpus(corpus, good=12, corrupt=0, seconds=30.0)
    pids = client.run(os.getpid)
    victim = sorted(pids.values())[0]
    killed = []

    def kill_after_first_result():
        while not list(out.glob("**/*.json")):
            time.sleep(0.01)
        killed.append(len(list(out.glob("**/*.json"))))
        os.kill(victim, signal.SIGKILL)

    watcher = threading.Thread(target=kill_after_first_result, daemon=True)
    watcher.start()
    table = zqx.dask.extract_corpus(corpus, out, client=client, progress=False,
                                    zqx_tonewheel={"useMRFFT": True})
    watcher.join(timeout=60)
    assert killed and killed[0] < len(paths), "the run ended before a worker could be killed"
    assert table["status"].tolist() == ["done"] * len(paths), table[["name", "status", "error"]]
    assert len(list(out.glob("**/*.json"))) == len(paths)
    # Every input has its row, also one whose files the killed worker wrote before it could report.
    rows = (out / "summary.csv").read_text().splitlines()[1:]
    assert sorted(row.split(",")[0] for row in rows) == sorted(str(p) for p in paths)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def test_a_scheduler_and_workers_started_with_the_dask_tools(tmp_path):
    tools = [shutil.which(name, path=os.path.dirname(sys.executable) + os.pathsep + os.environ.get("PATH", ""))
             for name in ("dask-scheduler", "dask-worker")]
    assert all(tools), "Debian's python3-distributed installs dask-scheduler and dask-worker"
    corpus, out, work = tmp_path / "corpus", tmp_path / "out", tmp_path / "work"
    make_corpus(corpus, good=4, corrupt=1, seconds=2.0)
    work.mkdir()
    address = f"tcp://127.0.0.1:{free_port()}"
    # The workers run in a folder of their own, with the package importable and no plug-in path:
    # they find the plug-ins beside the package's native module.
    env = {k: v for k, v in os.environ.items() if k != "ZQX_PLUGIN_PATH"}
    env["PYTHONPATH"] = os.path.dirname(os.path.dirname(zqx.__file__))
    common = dict(cwd=work, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    processes = [subprocess.Popen([sys.executable, tools[0], "--host", "127.0.0.1", "--port", address.rsplit(":", 1)[1],
                                   "--no-dashboard"], **common)]
    try:
        for _ in range(2):
            processes.append(subprocess.Popen([sys.executable, tools[1], address, "--host", "127.0.0.1",
                                               "--nthreads", "1", "--no-dashboard", "--no-nanny"], **common))
        with Client(address, timeout=60) as client:
            client.wait_for_workers(2, timeout=60)
            workers = client.run(os.getcwd)
            assert len(workers) == 2 and set(workers.values()) == {str(work)}
            table = zqx.dask.extract_corpus(corpus, out, client=address, progress=False)
        assert table["status"].value_counts().to_dict() == {"done": 4, "error": 1}
        assert len(list(out.glob("**/*.json"))) == 4
    finally:
        for process in reversed(processes):
            process.terminate()
        for process in processes:
            try:
                process.wait(timeout=20)
            except subprocess.TimeoutExpired:
                process.kill()


def test_without_a_client_a_local_cluster_is_started_and_closed(tmp_path):
    corpus, out = tmp_path / "corpus", tmp_path / "out"
    paths = make_corpus(corpus, good=2, corrupt=0, seconds=1.0)
    table = zqx.dask.extract_corpus([str(p) for p in paths], out, progress=False)
    assert table["status"].tolist() == ["done", "done"]
    assert table["path"].tolist() == [str(p) for p in paths]
    # Both are named "same": the second result set gets the command's second name.
    assert table["name"].tolist() == ["same", "same-2"]
