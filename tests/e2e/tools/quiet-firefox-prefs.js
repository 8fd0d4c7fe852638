// A test profile's prefs.js: Firefox makes no connection of its own (updates,
// telemetry, safe browsing, remote settings, captive-portal checks, DNS over
// HTTPS), so a proxy's log holds only what the test's pages asked for; and it
// sends even loopback addresses through a proxy, as it does any other.
user_pref("network.proxy.allow_hijacking_localhost", true);
user_pref("app.update.auto", false);
user_pref("app.normandy.enabled", false);
user_pref("app.normandy.api_url", "");
user_pref("app.shield.optoutstudies.enabled", false);
user_pref("browser.safebrowsing.malware.enabled", false);
user_pref("browser.safebrowsing.phishing.enabled", false);
user_pref("browser.safebrowsing.downloads.enabled", false);
user_pref("browser.safebrowsing.downloads.remote.enabled", false);
user_pref("browser.safebrowsing.blockedURIs.enabled", false);
user_pref("browser.safebrowsing.update.enabled", false);
user_pref("network.captive-portal-service.enabled", false);
user_pref("network.connectivity-service.enabled", false);
user_pref("toolkit.telemetry.enabled", false);
user_pref("toolkit.telemetry.unified", false);
user_pref("toolkit.telemetry.server", "");
user_pref("datareporting.policy.dataSubmissionEnabled", false);
user_pref("datareporting.healthreport.uploadEnabled", false);
user_pref("extensions.update.enabled", false);
user_pref("extensions.getAddons.cache.enabled", false);
user_pref("extensions.blocklist.enabled", false);
user_pref("services.settings.server", "http://127.0.0.9:9/");
user_pref("dom.push.enabled", false);
user_pref("dom.push.connection.enabled", false);
user_pref("network.dns.disablePrefetch", true);
user_pref("network.prefetch-next", false);
user_pref("network.http.speculative-parallel-limit", 0);
user_pref("browser.startup.homepage_override.mstone", "ignore");
user_pref("media.gmp-manager.url", "");
user_pref("browser.region.network.url", "");
user_pref("geo.provider.network.url", "");
user_pref("network.trr.mode", 5);
user_pref("security.OCSP.enabled", 0);
user_pref("security.remote_settings.crlite_filters.enabled", false);
user_pref("security.remote_settings.intermediates.enabled", false);
