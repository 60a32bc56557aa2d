package com.vantor.ovix.config;

/** Every method throws. */
public final class ConfigOvix {
    public static int getFirmwareVersion(int image) {
        throw new IllegalStateException("version of image " + image + " unavailable");
    }
    public static int getUpdateState(int image) {
        throw new IllegalStateException("flag of image " + image + " unavailable");
    }
    public static String getLanIp4AddressS() { throw new IllegalStateException("no LAN"); }
    public static String getWlanIp4AddressS() { throw new IllegalStateException("no WLAN"); }
    public static int getAnswer() { throw new ArithmeticException("no answer"); }
}
