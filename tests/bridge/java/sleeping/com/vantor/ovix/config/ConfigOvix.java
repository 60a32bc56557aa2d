package com.vantor.ovix.config;

/** Every method sleeps before it answers: ovix.sleep.millis, ten minutes by default. */
public final class ConfigOvix {
    private static void sleep() {
        try {
            Thread.sleep(Long.getLong("ovix.sleep.millis", 600000L));
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
        }
    }
    public static int getFirmwareVersion(int image) { sleep(); return 10203; }
    public static int getUpdateState(int image) { sleep(); return 0; }
}
