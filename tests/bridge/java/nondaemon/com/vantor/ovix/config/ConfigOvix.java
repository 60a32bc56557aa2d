package com.vantor.ovix.config;

/** Loading the class starts a thread that is not a daemon and runs for a while. */
public final class ConfigOvix {
    static {
        Thread worker = new Thread(() -> {
            try {
                Thread.sleep(Long.getLong("ovix.worker.millis", 1500L));
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
            }
            System.err.println("worker thread ended");
        }, "ovix-worker");
        worker.setDaemon(false);
        worker.start();
    }
    public static int getFirmwareVersion(int image) { return 10203; }
    public static int getUpdateState(int image) { return 0; }
}
