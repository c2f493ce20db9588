"""time_files on a Dask cluster of two worker processes gives the rows it gives without one."""

import warnings

import pytest

import kvw
from conftest import CM_DRA, CM_DRA_WORDS, EXAMPLE, TESS, assert_frame_is_table, kvw_minima_rows


def test_time_files_on_a_cluster_as_without_one(cm_dra_rows):
    from dask.distributed import Client, LocalCluster

    paths = [TESS, EXAMPLE, "missing.csv", TESS]
    example_rows = kvw_minima_rows(CM_DRA_WORDS + [EXAMPLE])
    with pytest.warns(kvw.FileSkipped, match="missing.csv: cannot open it"):
        alone = kvw.time_files(paths, **CM_DRA)
    assert_frame_is_table(alone, cm_dra_rows + example_rows[1:] + cm_dra_rows[1:])
    assert list(alone.attrs["skipped"]) == ["missing.csv"]
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster, \
            Client(cluster) as client, warnings.catch_warnings(record=True):
        on_cluster = kvw.time_files(paths, client=client, **CM_DRA)
        assert len(client.run(lambda: 1)) == 2
    assert on_cluster.equals(alone)
    assert on_cluster.attrs == alone.attrs
