package com.vantor.ovix.config;

public final class ConfigOvix {
    static { // a thread that is not a daemon runs for ovix.worker.millis
        java.util.Timer worker = new java.util.Timer("ovix-worker", false);
        worker.schedule(new java.util.TimerTask() {
            public void run() { System.err.println("worker thread ended"); worker.cancel(); }
        }, Long.getLong("ovix.worker.millis", 1500L));
    }
    public static int getFirmwareVersion(int image) { return 10203; }
    public static int getUpdateState(int image) { return 0; }
}
